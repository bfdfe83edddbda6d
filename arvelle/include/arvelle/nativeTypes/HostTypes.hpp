#pragma once
// The host's classes that attribute objects point to. They are opaque here: pointers to them are
// stored, compared and written as text, never dereferenced.

class TAVBlock;
class tavPort;
class tavGraph;
namespace TAVTypeSys {
class DataTypeTable;
}
