#include "runtime/Status.h"

// The values are part of the interface (docs/architecture.md lists them). Code and tests use the
// names, so a changed value would pass every other test: these lines stop the build instead.
static_assert(kStatusSuccess == 1 && kStatusAdded == 3 && kStatusReplaced == 5, "success");
static_assert(kStatusNothingDone == 0, "nothing done");
static_assert(kStatusFailure == -1 && kStatusNotCreated == -2 && kStatusNotInitialized == -3, "failures");
static_assert(kStatusInvalidArgument == -4 && kStatusOverflow == -5, "arguments and sizes");
static_assert(kStatusNameNotFound == -10, "names");
static_assert(kStatusNotWholeFrames == -99 && kStatusUnrecognized == -99, "frames and kinds");
static_assert(kStatusNotConvertible == -100, "conversions");
