#include "replay/ReplayRecorder.h"

#include "game/SceenGame.h"
#include "platform/random.h"
#include "replay/ReplayGame.h"

namespace replay {

CReplayRecorder::CReplayRecorder(int nMode) : m_pInner(plat::GetClock()) {
    m_header.strVersion = ProgramVersion();
    m_header.nMode = nMode;
    m_header.dwRandState = plat::RandState();
    plat::SetClock(this);
    m_bInstalled = true;
}

CReplayRecorder::~CReplayRecorder() {
    Release();
}

void CReplayRecorder::Release() {
    // Another clock put in since (a test's) stays where it is.
    if (m_bInstalled && plat::GetClock() == this)
        plat::SetClock(m_pInner);
    m_bInstalled = false;
}

CReplayRecorder::CCall::CCall(CReplayRecorder* pRecorder, EEvent kind, unsigned nKey)
    : m_pRecorder(pRecorder) {
    if (m_pRecorder)
        m_pRecorder->Begin(kind, nKey);
}

CReplayRecorder::CCall::~CCall() {
    if (m_pRecorder)
        m_pRecorder->End();
}

void CReplayRecorder::Begin(EEvent kind, unsigned nKey) {
    // A call inside a call can't be told apart on a re-run.
    if (m_nDepth++ > 0) {
        m_bNested = true;
        return;
    }
    m_kind = kind;
    m_nKey = nKey;
    m_arrReads.clear();
}

void CReplayRecorder::End() {
    if (--m_nDepth > 0 || m_bFull)
        return;
    if (!m_writer.Event(m_kind, m_nKey, m_arrReads.data(), m_arrReads.size()))
        m_bFull = true;
}

uint32_t CReplayRecorder::Now() {
    const uint32_t v = m_pInner->Now();
    if (m_nDepth > 0 && m_arrReads.size() <= kMaxReadsPerEvent)
        m_arrReads.push_back(v);
    return v;
}

void CReplayRecorder::Sleep(uint32_t ms) {
    m_pInner->Sleep(ms);
}

bool CReplayRecorder::Finish(CSceenGame& game, std::string& file, std::string& strError) {
    Release();
    m_header.geometry = GeometryOf(game);
    if (m_bNested) {
        strError = "a call reached the game while another was running";
        return false;
    }
    if (m_bFull || !m_writer.Finish(m_header, Summarize(game), file)) {
        strError = "the game was longer than a replay may be";
        return false;
    }
    return true;
}

}  // namespace replay
