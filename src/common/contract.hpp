// Contract checks that stay on in every build type.
//
// A plain assert() disappears under NDEBUG and, in C++, reports the whole signature
// instead of the function's name. ORV_CHECK reports in the C library's assertion format
// ("prog: file:line: function: Assertion `expr' failed.") and aborts, whatever the
// build type. Write the condition with a literal NULL where a pointer is checked, so
// the report reads "m != NULL".
#pragma once

[[noreturn]] void contract_failed(const char *file, unsigned line, const char *func,
                                  const char *expr);

#define ORV_CHECK(expr) \
  ((expr) ? static_cast<void>(0) : contract_failed(__FILE__, __LINE__, __func__, #expr))
