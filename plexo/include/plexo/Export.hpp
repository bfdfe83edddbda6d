#pragma once
// What libplexo exports: the library is built with hidden visibility, and its public headers open their
// declarations with PLEXO_API_BEGIN and close them with PLEXO_API_END.

#define PLEXO_API __attribute__((visibility("default")))
#define PLEXO_API_BEGIN _Pragma("GCC visibility push(default)")
#define PLEXO_API_END _Pragma("GCC visibility pop")
