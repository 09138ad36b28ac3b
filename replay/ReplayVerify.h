// Re-runs a recorded game on a clock fed by the recorded counter values,
// with no window on screen and no sound, and says whether it ran in step.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "replay/ReplayCodec.h"
#include "replay/ReplayTimer.h"

namespace replay {

enum class EVerdict {
    InStep,           // ran to its end, every value read by exactly the read that asked for it
    Unreadable,       // not a replay, damaged, cut short or too large
    OtherVersion,     // recorded by another program version
    GeometryDiffers,  // client or picture sizes that are not the game's
    Diverged,         // the re-run read the counter more or less often than recorded
    TooLong,          // more events than the caller allows
    SummaryDiffers,   // in step, but the file claims another outcome
    OtherMode,        // not the mode the caller asked for
    ClockForged,      // counter values no real timer gives (ReplayTimer.h)
    PaintsMissing,    // fewer paints than the host makes
    TooCostly,        // the re-run took more processor time than allowed
};
// The verifier's exit status for each verdict.
int ExitStatus(EVerdict verdict);

struct SStageHash {
    int nStage = 0;
    uint64_t qwHash = 0;
};

struct SVerifyResult {
    EVerdict verdict = EVerdict::Unreadable;
    EReadStatus readStatus = EReadStatus::Ok;
    std::string strReason;  // empty when in step
    SHeader header;
    SSummary outcome;  // where the re-run ended
    SSummary claimed;  // what the file says
    // The state after each event that changed the stage, the start included.
    std::vector<SStageHash> arrStages;
    uint64_t nEvents = 0;
    // The game's digest (CReplayReader::GameDigest) whenever the whole
    // replay decodes, in step or not; empty otherwise.
    std::string strGameDigest;
    STimerStats timer;
};

struct SVerifyLimits {
    uint64_t nMaxEvents = 4000000;
    // The file and its inflated data; a server keeps both far below the format's.
    size_t nMaxFileBytes = kMaxFileBytes;
    size_t nMaxDataBytes = kMaxDataBytes;
    // Program versions whose games this library re-runs alike; empty: the
    // versions of RerunVersions().
    std::vector<std::string> arrVersions;
    // The mode the replay must be of (1 tutorial, 2 game), 0 for either; any
    // other value refuses every replay.
    int nMode = 0;
    // Processor time of the calling thread the whole check may take; 0: no bound.
    uint32_t nCpuMs = 0;
};

// The program versions whose games re-run alike with this one's rules.
const std::vector<std::string>& RerunVersions();

SVerifyResult VerifyReplay(const std::string& file, const SGeometry& official,
                           const SVerifyLimits& limits = SVerifyLimits());

// The lines the verifier prints for a result.
std::string DescribeResult(const SVerifyResult& result);

}  // namespace replay
