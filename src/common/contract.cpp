#include "common/contract.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" char *program_invocation_short_name;  // glibc

void contract_failed(const char *file, unsigned line, const char *func, const char *expr) {
  // Messages that explain the failure (such as "add ERROR.") go to standard output
  // just before the check fails: make sure they are out before the process ends.
  std::fflush(stdout);
  const char *slash = std::strrchr(file, '/');
  const char *unit = slash != nullptr ? slash + 1 : file;
  std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
               unit, line, func, expr);
  std::fflush(stderr);
  std::abort();
}
