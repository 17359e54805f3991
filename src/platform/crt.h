// The C runtime's random generator as the program was built against it: the Windows
// generator (state * 214013 + 2531011, result (state >> 16) & 0x7FFF), not glibc's.
// In its own namespace so that it never meets the C library's srand/rand.
#pragma once

namespace crt {

// <cstdlib> makes RAND_MAX a macro; keep it out of this declaration whatever the include order.
#pragma push_macro("RAND_MAX")
#undef RAND_MAX
constexpr int RAND_MAX = 0x7FFF;
#pragma pop_macro("RAND_MAX")

void srand(unsigned int seed);
int rand();

} // namespace crt
