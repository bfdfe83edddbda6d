#pragma once
// What libarvelle exports. The library is built with hidden visibility: only what its public headers
// (hand-written and generated) declare is seen by hosts; see fenmo/Export.hpp for the macros' use.

#define ARVELLE_API __attribute__((visibility("default")))
#define ARVELLE_API_BEGIN _Pragma("GCC visibility push(default)")
#define ARVELLE_API_END _Pragma("GCC visibility pop")
