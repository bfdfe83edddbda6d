#pragma once
// What libfenmo exports. The library is built with hidden visibility: only what its public headers
// declare is seen by hosts. A public header opens its declarations with FENMO_API_BEGIN and closes them
// with FENMO_API_END; FENMO_API marks a single declaration elsewhere.

#define FENMO_API __attribute__((visibility("default")))
#define FENMO_API_BEGIN _Pragma("GCC visibility push(default)")
#define FENMO_API_END _Pragma("GCC visibility pop")
// Marks a framework-internal class that a public header only names (forward declarations).
#define FENMO_LOCAL __attribute__((visibility("hidden")))
