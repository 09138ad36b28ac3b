#include "replay/ReplayVerify.h"

#include <time.h>

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/random.h"
#include "platform/window.h"
#include "replay/ReplayClock.h"
#include "replay/ReplayGame.h"

namespace replay {
namespace {

// The game as recorded: pictures of the recorded sizes, nothing read from disk.
class CRerunGame : public CSceenGame {
public:
    explicit CRerunGame(const SGeometry& geometry) : m_geometry(geometry) {}
    void LoadPictures() override {
        for (int i = 0; i < kGeometryPictures && i < kPictures; ++i)
            Picture(i).Create(m_geometry.pictures[i].cx, m_geometry.pictures[i].cy);
    }

private:
    SGeometry m_geometry;
};

// A window that is never shown: it gives the objects their client size and
// tells which calls asked for a paint.
class CRerunField : public plat::CWnd {
public:
    explicit CRerunField(const SSize& size) : CWnd(size.cx, size.cy) {}
    bool TakePaintRequest() { return DispatchPendingPaint(); }
};

// The processor time the calling thread has used, in milliseconds.
uint64_t ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// Checked every so many events: reading the time costs more than an event.
constexpr uint64_t kCpuCheckEvents = 1024;

// What one re-run needs besides the game: the reader, the clock fed by it,
// the rules that clock is held to, and the bounds.
struct SRerun {
    SRerun(CReplayReader& r, const SVerifyLimits& l, uint64_t nStartMs)
        : reader(r), limits(l), clock(r, nullptr), nCpuStartMs(nStartMs) {
        clock.SetRules(&rules);
    }
    CReplayReader& reader;
    const SVerifyLimits& limits;
    CReplayClock clock;
    CTimerRules rules;
    uint64_t nCpuStartMs;
};

class CSilence {
public:
    CSilence() : m_bBefore(plat::SetAudioSilent(true)) {}
    ~CSilence() { plat::SetAudioSilent(m_bBefore); }
    CSilence(const CSilence&) = delete;
    CSilence& operator=(const CSilence&) = delete;

private:
    bool m_bBefore;
};

std::string EventText(uint64_t n, EEvent kind) {
    char text[64];
    std::snprintf(text, sizeof text, "event %" PRIu64 " (%s)", n, EventName(kind));
    return text;
}

bool Fault(SVerifyResult& r, EVerdict verdict, std::string reason) {
    r.verdict = verdict;
    r.strReason = std::move(reason);
    return false;
}

bool Unreadable(SVerifyResult& r, const CReplayReader& reader) {
    r.readStatus = reader.Status();
    std::string text = std::string("the replay is ") + ReadStatusText(reader.Status());
    // Where in the events it broke, once they were reached.
    if (reader.Offset() > 0)
        text += " (at byte " + std::to_string(reader.Offset()) + " of its data)";
    return Fault(r, EVerdict::Unreadable, text);
}

// The rules of the timer and the paints, once an event has run.
bool TimerKept(SVerifyResult& r, const CTimerRules& rules) {
    if (!rules.Broken())
        return true;
    return Fault(r, rules.PaintsMissing() ? EVerdict::PaintsMissing : EVerdict::ClockForged,
                 rules.Reason());
}

// One event on the scene; false with the verdict when it went out of step.
bool RunEvent(SVerifyResult& r, CSceenGame& game, CRerunField& field, SRerun& run, EEvent kind,
              unsigned nKey) {
    run.rules.BeginEvent(r.nEvents, kind);
    run.clock.BeginEvent();
    Deliver(game, kind, nKey, false);
    run.clock.EndEvent();
    run.rules.EndEvent(field.TakePaintRequest());
    if (run.reader.Status() != EReadStatus::Ok)
        return Unreadable(r, run.reader);
    // A forged counter is the cause of what goes wrong after it.
    if (!TimerKept(r, run.rules))
        return false;
    if (run.clock.Overrun())
        return Fault(r, EVerdict::Diverged,
                     EventText(r.nEvents, kind) + " read the counter more often than recorded");
    if (run.reader.ReadsLeft() != 0)
        return Fault(r, EVerdict::Diverged,
                     EventText(r.nEvents, kind) + " left " +
                         std::to_string(run.reader.ReadsLeft()) +
                         " recorded counter values unread");
    return true;
}

void NoteStage(SVerifyResult& r, const CSceenGame& game) {
    if (r.arrStages.empty() || r.arrStages.back().nStage != game.m_nStage)
        r.arrStages.push_back({game.m_nStage, GameStateHash(game)});
}

bool RunStart(SVerifyResult& r, CSceenGame& game, CRerunField& field, SRerun& run) {
    CReplayReader& reader = run.reader;
    EEvent kind = EV_END;
    unsigned nKey = 0;
    if (!reader.Next(kind, nKey))
        return reader.Status() != EReadStatus::Ok
                   ? Unreadable(r, reader)
                   : Fault(r, EVerdict::Unreadable, "the replay holds no game");
    if (kind != EV_START)
        return Fault(r, EVerdict::Unreadable, "the replay does not begin with the game's start");
    plat::Srand(r.header.dwRandState);
    game.m_nMode = r.header.nMode;
    r.nEvents = 1;
    run.rules.BeginEvent(r.nEvents, EV_START);
    run.clock.BeginEvent();
    game.Start(&field, std::string());
    run.clock.EndEvent();
    run.rules.EndEvent(field.TakePaintRequest());
    if (reader.Status() != EReadStatus::Ok)
        return Unreadable(r, reader);
    if (run.clock.Overrun() || reader.ReadsLeft() != 0)
        return Fault(r, EVerdict::Diverged, "the game's start did not read the recorded values");
    NoteStage(r, game);
    return TimerKept(r, run.rules);
}

bool WithinCpu(SVerifyResult& r, const SRerun& run) {
    if (run.limits.nCpuMs == 0 || ThreadCpuMs() - run.nCpuStartMs <= run.limits.nCpuMs)
        return true;
    return Fault(r, EVerdict::TooCostly,
                 "the re-run took more than " + std::to_string(run.limits.nCpuMs) +
                     " ms of processor time by event " + std::to_string(r.nEvents));
}

bool RunEvents(SVerifyResult& r, CSceenGame& game, CRerunField& field, SRerun& run) {
    EEvent kind = EV_END;
    unsigned nKey = 0;
    bool bEnded = false;
    while (run.reader.Next(kind, nKey)) {
        if (kind == EV_START)
            return Fault(r, EVerdict::Unreadable, "the replay starts the game twice");
        if (r.nEvents >= run.limits.nMaxEvents)
            return Fault(r, EVerdict::TooLong, "the replay has more events than allowed");
        ++r.nEvents;
        // The host closes the game at the first tick that leaves a result.
        if (bEnded)
            return Fault(r, EVerdict::Diverged,
                         EventText(r.nEvents, kind) + " comes after the game was over");
        if (!RunEvent(r, game, field, run, kind, nKey))
            return false;
        bEnded = kind == EV_TICK && game.m_nResult >= 0;
        NoteStage(r, game);
        if (r.nEvents % kCpuCheckEvents == 0 && !WithinCpu(r, run))
            return false;
    }
    if (run.reader.Status() != EReadStatus::Ok)
        return Unreadable(r, run.reader);
    return WithinCpu(r, run);
}

bool KnownVersion(const std::string& strVersion, const SVerifyLimits& limits) {
    const std::vector<std::string>& known =
        limits.arrVersions.empty() ? RerunVersions() : limits.arrVersions;
    for (const std::string& v : known) {
        if (v == strVersion)
            return true;
    }
    return false;
}

bool CheckHeader(SVerifyResult& r, const SGeometry& official, const SVerifyLimits& limits) {
    if (limits.nMode != 0 && r.header.nMode != limits.nMode)
        return Fault(
            r, EVerdict::OtherMode,
            r.header.nMode == 1 ? "the replay is of the tutorial" : "the replay is of a game");
    if (!KnownVersion(r.header.strVersion, limits))
        return Fault(
            r, EVerdict::OtherVersion,
            "recorded by version " + r.header.strVersion + ", this is version " + ProgramVersion());
    const std::string diff = GeometryDifference(r.header.geometry, official);
    if (!diff.empty())
        return Fault(r, EVerdict::GeometryDiffers, "recorded with " + diff);
    return true;
}

bool SameSummary(const SSummary& a, const SSummary& b) {
    return a.nStage == b.nStage && a.nScore == b.nScore && a.nLives == b.nLives &&
           a.qwHash == b.qwHash;
}

void Rerun(SVerifyResult& r, SRerun& run) {
    const CSilence silence;
    const CClockSwap swap(run.clock);
    CRerunField field(r.header.geometry.client);
    auto game = std::make_unique<CRerunGame>(r.header.geometry);
    const bool bInStep = RunStart(r, *game, field, run) && RunEvents(r, *game, field, run);
    r.outcome = Summarize(*game);
    r.timer = run.rules.Stats();
    game->Stop();
    if (!bInStep)
        return;
    r.claimed = run.reader.Summary();
    if (!SameSummary(r.claimed, r.outcome)) {
        Fault(r, EVerdict::SummaryDiffers,
              "the replay claims score " + std::to_string(r.claimed.nScore) + " at stage " +
                  std::to_string(r.claimed.nStage) + ", but it plays to score " +
                  std::to_string(r.outcome.nScore) + " at stage " +
                  std::to_string(r.outcome.nStage));
        return;
    }
    r.verdict = EVerdict::InStep;
}

}  // namespace

int ExitStatus(EVerdict verdict) {
    switch (verdict) {
        case EVerdict::InStep:
            return 0;
        case EVerdict::Unreadable:
            return 3;
        case EVerdict::OtherVersion:
            return 4;
        case EVerdict::GeometryDiffers:
            return 5;
        case EVerdict::Diverged:
            return 6;
        case EVerdict::TooLong:
            return 7;
        case EVerdict::SummaryDiffers:
            return 8;
        case EVerdict::OtherMode:
            return 9;
        case EVerdict::ClockForged:
            return 10;
        case EVerdict::PaintsMissing:
            return 11;
        case EVerdict::TooCostly:
            return 12;
    }
    return 1;
}

const std::vector<std::string>& RerunVersions() {
    // 1.0.0.1 skipped the game's paint while its window was minimised; its
    // other games re-run alike, and the paint rule refuses the minimised ones.
    static const std::vector<std::string> versions = {ProgramVersion(), "1.0.0.1"};
    return versions;
}

SVerifyResult VerifyReplay(const std::string& file, const SGeometry& official,
                           const SVerifyLimits& limits) {
    SVerifyResult r;
    const uint64_t nCpuStartMs = ThreadCpuMs();
    CReplayReader reader;
    if (reader.Open(file, limits.nMaxFileBytes, limits.nMaxDataBytes) != EReadStatus::Ok) {
        Unreadable(r, reader);
        return r;
    }
    r.header = reader.Header();
    SRerun run(reader, limits, nCpuStartMs);
    if (CheckHeader(r, official, limits))
        Rerun(r, run);
    // Whatever stopped the re-run, the rest is read for the game's digest.
    EEvent kind = EV_END;
    unsigned nKey = 0;
    while (reader.Status() == EReadStatus::Ok && !reader.AtEnd() && reader.Next(kind, nKey))
        reader.SkipReads();
    r.strGameDigest = reader.GameDigest();
    return r;
}

std::string DescribeResult(const SVerifyResult& r) {
    if (r.header.strVersion.empty())
        return "result: not in step: " + r.strReason + "\n";  // no header to show
    std::string out;
    char line[128];
    const auto add = [&out, &line] { out += line; };
    std::snprintf(line, sizeof line, "version: %s\nmode: %s\n", r.header.strVersion.c_str(),
                  r.header.nMode == 1 ? "tutorial" : "game");
    add();
    std::snprintf(line, sizeof line, "stages: %d\nscore: %d\nlives: %d\nhash: %016" PRIx64 "\n",
                  r.outcome.nStage, r.outcome.nScore, r.outcome.nLives, r.outcome.qwHash);
    add();
    for (const SStageHash& s : r.arrStages) {
        std::snprintf(line, sizeof line, "stage %d: %016" PRIx64 "\n", s.nStage, s.qwHash);
        add();
    }
    std::snprintf(line, sizeof line, "events: %" PRIu64 "\n", r.nEvents);
    add();
    if (r.timer.nTicks > 0) {
        std::snprintf(line, sizeof line,
                      "ticks: %" PRIu64 ", %" PRIu32 " to %" PRIu32
                      " ms apart outside pauses, %" PRId64 " ms late in all\n",
                      r.timer.nTicks, r.timer.dwMinGap, r.timer.dwMaxGap, r.timer.nLateMs);
        add();
    }
    if (!r.strGameDigest.empty())
        out += "game: " + r.strGameDigest + "\n";
    out += r.verdict == EVerdict::InStep ? "result: in step\n"
                                         : "result: not in step: " + r.strReason + "\n";
    return out;
}

}  // namespace replay
