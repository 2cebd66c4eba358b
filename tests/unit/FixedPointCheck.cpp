// The typed-number reader's cases checked while compiling, for compilers whose programs cannot
// run here: the Windows cross-check builds this file with its 32-bit `long`. A sum that
// overflows is no constant, so it fails the build as surely as a wrong value does.
#include "FixedPointCases.h"

static_assert(kvel::unit::test::EveryFixedPointCaseHolds(),
              "a typed number reads differently on this compiler");
