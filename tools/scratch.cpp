#include "tools/scratch.h"

#include <cstdio>
#include <cstdlib>

void scratch_taken_twice(const char* name) {
  std::fprintf(stderr, "Scratch: \"%s\" is taken while it is held (a call reached itself again)\n", name);
  std::abort();
}
