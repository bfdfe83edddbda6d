#pragma once
// What libqorin exports: built with hidden visibility, its public headers open their declarations with
// QORIN_API_BEGIN and close them with QORIN_API_END.

#define QORIN_API __attribute__((visibility("default")))
#define QORIN_API_BEGIN _Pragma("GCC visibility push(default)")
#define QORIN_API_END _Pragma("GCC visibility pop")
