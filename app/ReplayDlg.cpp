#include "app/ReplayDlg.h"

#include "app/MainWindow.h"
#include "platform/random.h"
#include "replay/ReplayGame.h"

namespace {
constexpr unsigned kPaceTimer = 1;
constexpr unsigned kPaceMs = 10;
}  // namespace

CReplayDlg::CReplayDlg(std::string bytes, std::string strBasePath)
    : plat::CDialog("DoruzorO", kMainDialogWidthDlu, kMainDialogHeightDlu),
      m_strBytes(std::move(bytes)),
      m_strBasePath(std::move(strBasePath)) {}

CReplayDlg::~CReplayDlg() {
    if (m_pGame)
        m_pGame->Stop();
}

bool CReplayDlg::OnInitDialog() {
    m_sound.Load();
    if (m_reader.Open(m_strBytes) != replay::EReadStatus::Ok || !TakeNext() ||
        m_kind != replay::EV_START) {
        m_bFinished = true;
        EndDialog(plat::IDCANCEL);
        return true;
    }
    // The game's pauses sleep for real, so they are heard as they were.
    m_pClock = std::make_unique<replay::CReplayClock>(m_reader, plat::GetClock());
    m_pSwap = std::make_unique<replay::CClockSwap>(*m_pClock);
    plat::Srand(m_reader.Header().dwRandState);
    m_pGame = std::make_unique<CSceenGame>();
    m_pGame->m_nMode = m_reader.Header().nMode;
    m_dwFirst = m_dwDue;
    // The game starts at the first tick, once the window is on screen.
    SetTimer(kPaceTimer, kPaceMs);
    return true;
}

bool CReplayDlg::PreTranslateMessage(const plat::MSG& msg) {
    if (OnHeldKey(msg))
        return true;
    return plat::CDialog::PreTranslateMessage(msg);
}

bool CReplayDlg::OnHeldKey(const plat::MSG& msg) {
    const bool bKey = msg.message == plat::WM_KEYDOWN || msg.message == plat::WM_KEYUP;
    if (!bKey || !CSoundControls::IsSoundKey(msg.wParam))
        return false;
    m_sound.OnKey(msg.message, msg.wParam);
    return true;
}

bool CReplayDlg::DestroyWindow() {
    if (m_pGame) {
        m_pGame->Stop();
        m_pGame.reset();
    }
    m_pSwap.reset();
    return plat::CDialog::DestroyWindow();
}

void CReplayDlg::OnTimer(unsigned id) {
    if (id == kPaceTimer)
        DeliverDue(std::chrono::steady_clock::now());
}

// The next event, with its first counter value when it has one: that value
// is the moment it was made.
bool CReplayDlg::TakeNext() {
    if (!m_reader.Next(m_kind, m_nKey))
        return false;
    m_bTimed = m_reader.ReadsLeft() > 0;
    return !m_bTimed || m_reader.NextRead(m_dwDue);
}

void CReplayDlg::DeliverPending() {
    if (m_bTimed)
        m_pClock->Prime(m_dwDue);
    m_pClock->BeginEvent();
    if (m_kind == replay::EV_START)
        m_pGame->Start(this, m_strBasePath);
    else
        replay::Deliver(*m_pGame, m_kind, m_nKey, true);
    m_pClock->EndEvent();
}

void CReplayDlg::DeliverDue(std::chrono::steady_clock::time_point now) {
    if (m_bFinished || !m_pGame)
        return;
    if (m_kind == replay::EV_START)
        m_tStart = now;
    // Calls that read no counter follow the one before them at once.
    while (!m_bTimed || now - m_tStart >= std::chrono::milliseconds(m_dwDue - m_dwFirst)) {
        DeliverPending();
        if (!TakeNext()) {
            m_bFinished = true;
            EndDialog(plat::IDOK);
            return;
        }
    }
}
