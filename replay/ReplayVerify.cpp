#include "replay/ReplayVerify.h"

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

// A window that is never shown: it gives the objects their client size.
class CRerunField : public plat::CWnd {
public:
    explicit CRerunField(const SSize& size) : CWnd(size.cx, size.cy) {}
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

// One event on the scene; false with the verdict when it went out of step.
bool RunEvent(SVerifyResult& r, CSceenGame& game, CReplayClock& clock, CReplayReader& reader,
              EEvent kind, unsigned nKey) {
    clock.BeginEvent();
    Deliver(game, kind, nKey, false);
    clock.EndEvent();
    if (reader.Status() != EReadStatus::Ok)
        return Unreadable(r, reader);
    if (clock.Overrun())
        return Fault(r, EVerdict::Diverged,
                     EventText(r.nEvents, kind) + " read the counter more often than recorded");
    if (reader.ReadsLeft() != 0)
        return Fault(r, EVerdict::Diverged,
                     EventText(r.nEvents, kind) + " left " + std::to_string(reader.ReadsLeft()) +
                         " recorded counter values unread");
    return true;
}

void NoteStage(SVerifyResult& r, const CSceenGame& game) {
    if (r.arrStages.empty() || r.arrStages.back().nStage != game.m_nStage)
        r.arrStages.push_back({game.m_nStage, GameStateHash(game)});
}

bool RunStart(SVerifyResult& r, CSceenGame& game, CRerunField& field, CReplayClock& clock,
              CReplayReader& reader) {
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
    clock.BeginEvent();
    game.Start(&field, std::string());
    clock.EndEvent();
    r.nEvents = 1;
    if (reader.Status() != EReadStatus::Ok)
        return Unreadable(r, reader);
    if (clock.Overrun() || reader.ReadsLeft() != 0)
        return Fault(r, EVerdict::Diverged, "the game's start did not read the recorded values");
    NoteStage(r, game);
    return true;
}

bool RunEvents(SVerifyResult& r, CSceenGame& game, CReplayClock& clock, CReplayReader& reader,
               const SVerifyLimits& limits) {
    EEvent kind = EV_END;
    unsigned nKey = 0;
    while (reader.Next(kind, nKey)) {
        if (kind == EV_START)
            return Fault(r, EVerdict::Unreadable, "the replay starts the game twice");
        if (r.nEvents >= limits.nMaxEvents)
            return Fault(r, EVerdict::TooLong, "the replay has more events than allowed");
        ++r.nEvents;
        if (!RunEvent(r, game, clock, reader, kind, nKey))
            return false;
        NoteStage(r, game);
    }
    if (reader.Status() != EReadStatus::Ok)
        return Unreadable(r, reader);
    return true;
}

bool KnownVersion(const std::string& strVersion, const SVerifyLimits& limits) {
    if (limits.arrVersions.empty())
        return strVersion == ProgramVersion();
    for (const std::string& v : limits.arrVersions) {
        if (v == strVersion)
            return true;
    }
    return false;
}

bool CheckHeader(SVerifyResult& r, const SGeometry& official, const SVerifyLimits& limits) {
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

void Rerun(SVerifyResult& r, CReplayReader& reader, const SVerifyLimits& limits) {
    const CSilence silence;
    CReplayClock clock(reader, nullptr);
    const CClockSwap swap(clock);
    CRerunField field(r.header.geometry.client);
    auto game = std::make_unique<CRerunGame>(r.header.geometry);
    const bool bInStep =
        RunStart(r, *game, field, clock, reader) && RunEvents(r, *game, clock, reader, limits);
    r.outcome = Summarize(*game);
    game->Stop();
    if (!bInStep)
        return;
    r.claimed = reader.Summary();
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
    }
    return 1;
}

SVerifyResult VerifyReplay(const std::string& file, const SGeometry& official,
                           const SVerifyLimits& limits) {
    SVerifyResult r;
    CReplayReader reader;
    if (reader.Open(file, limits.nMaxFileBytes, limits.nMaxDataBytes) != EReadStatus::Ok) {
        Unreadable(r, reader);
        return r;
    }
    r.header = reader.Header();
    if (CheckHeader(r, official, limits))
        Rerun(r, reader, limits);
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
    out += r.verdict == EVerdict::InStep ? "result: in step\n"
                                         : "result: not in step: " + r.strReason + "\n";
    return out;
}

}  // namespace replay
