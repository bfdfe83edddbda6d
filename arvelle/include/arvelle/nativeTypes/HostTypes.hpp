#pragma once

#include <arvelle/Export.hpp>
// The host's classes that attribute objects point to. They are opaque here: pointers to them are
// stored, compared and written as text, never dereferenced.

class TAVBlock;
class tavPort;
class tavGraph;

ARVELLE_API_BEGIN
namespace TAVTypeSys {
class DataTypeTable;
}

ARVELLE_API_END
