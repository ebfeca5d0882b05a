#pragma once

#include "app/RateTable.h"

#include <cstdint>

// Finds a sampling rate and share mode the chosen device accepts, and opens the device stream at
// it, on the process-wide engine objects. Runs on the main thread. It shows nothing itself: it
// returns what it met, and the caller tells the user.
namespace RateSearch
{
// As the device stream's bSharedMode takes it.
enum class ShareMode : uint32_t
{
    Exclusive = 0,
    Shared = 1,
};

// Down the table from the chosen maximum (ever lower rates), or up from it.
enum class Direction
{
    Downward,
    Upward,
};

// A format attempt that failed before the device was asked, each of which the user is told of:
// the stream buffer could not be set up, its queue not limited, or it has no block length or the
// device stream is still open. A device refusing a rate is not told of.
enum class SetupFailure : uint8_t
{
    SoundBuffer,
    BufferLimit,
    BufferSize,
};

enum class Outcome
{
    Found,
    Refused,
    // Another program holds the endpoint exclusively: Windows answered AUDCLNT_E_DEVICE_IN_USE
    // to exclusive and to shared streams alike.
    HeldByAnotherProgram,
};

// Every row in each of the four passes.
constexpr uint32_t kMaxAttempts = 4 * RateTable::kRowCount;

struct Result
{
    Outcome Verdict = Outcome::Refused;
    // Found: the accepted row; dfSamplingRate is its rate and the device stream is open at it.
    uint32_t uiRow = 0;
    // The set-up failures of the attempts, in their order.
    SetupFailure Failures[kMaxAttempts] = {};
    uint32_t uiFailureCount = 0;
    // Per share mode: an attempt was refused because the endpoint is in use.
    bool bInUse[2] = {false, false};
};

// Tries the rate table from the chosen maximum (uiRateIndex) in one direction and share mode,
// adding what it meets to result. True when a rate was accepted.
bool SearchRate(int32_t deviceIndex, ShareMode mode, Direction direction, Result& result);

// The passes in turn, until one finds a rate: exclusive before shared, the chosen maximum and
// below before anything higher.
Result FindAnyRate(int32_t deviceIndex);
}
