#include "app/DoruzorODlg.h"

#include <cstdio>
#include <ctime>

#include "app/MainWindow.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/speech.h"
#include "platform/toolkit.h"
#include "ranking/DlgSendNet.h"
#include "ranking/Ranking.h"
#include "replay/ReplayFiles.h"

namespace {
constexpr unsigned kTickTimer = 1;
constexpr unsigned kTickMs = 100;

constexpr int kPauseNoticeX = 100;
constexpr int kPauseNoticeY = 290;
constexpr int kPauseNoticeHeight = 80;
constexpr int kPauseFontHeight = -53;  // the menu's 40 points

bool IsPauseKey(unsigned vk) {
    return vk == 'P' || vk == plat::VK_PAUSE;
}

// The game's sounds all play on the panned device; the menu's and the
// host's own voices on the other.
void HoldGameSounds(bool bHold) {
    if (g_pDirectSound[1])
        g_pDirectSound[1]->SetPaused(bHold);
}
}  // namespace

CDoruzorODlg::CDoruzorODlg()
    : plat::CDialog("DoruzorO", kMainDialogWidthDlu, kMainDialogHeightDlu),
      m_fnNewMenu([] { return std::make_unique<CSceenMenu>(); }),
      m_fnNewGame([] { return std::make_unique<CSceenGame>(); }) {
    m_strReplayFolder = replay::ReplayFolder();
    m_strUnsentFolder = UnsentFolder();
}

CDoruzorODlg::~CDoruzorODlg() = default;

void CDoruzorODlg::SetSceenFactories(MenuFactory fnMenu, GameFactory fnGame) {
    m_fnNewMenu = std::move(fnMenu);
    m_fnNewGame = std::move(fnGame);
}

std::vector<std::string> CDoruzorODlg::IconFiles() const {
    // Installed, the launcher starts the program in its data folder; in a
    // build the data folder is beside the program's.
    std::string dir = plat::GetCurrentDirectory() + "/icon/doruzoro-";
    if (!plat::FileExists(dir + "16.png")) {
        dir = plat::ExecutableDir() + "/../data/icon/doruzoro-";
    }
    return {dir + "16.png", dir + "32.png", dir + "48.png"};
}

bool CDoruzorODlg::OnInitDialog() {
    SetIcon(IconFiles());
    plat::Srand(plat::GetTickCount());
    SetTimer(kTickTimer, kTickMs);
    m_strBasePath = plat::GetCurrentDirectory();
    m_reg.Load();
    m_sound.Load();
    OpenSceen(1, 0);
    m_bOfferUnsent = true;
    return true;
}

bool CDoruzorODlg::DestroyWindow() {
    m_reg.Save();
    CloseSceen();
    return plat::CDialog::DestroyWindow();
}

int CDoruzorODlg::OpenSceen(int nKind, int nArg) {
    CloseSceen();
    if (nKind == 1) {
        m_pMenu = m_fnNewMenu();
        m_pMenu->Start(this, m_strBasePath);
        // The menu asks for no paint of its own: without this the window
        // would show the last game until the first key.
        PostPaint();
    } else if (nKind == 2) {
        m_pGame = m_fnNewGame();
        m_pGame->m_nMode = nArg + 1;
        m_strLastReplay.clear();  // a record is only ever sent with its own game
        m_pGameClock = std::make_unique<CGameClock>(plat::GetClock());
        plat::SetClock(m_pGameClock.get());
        if (m_bRecord)
            m_pRecorder = std::make_unique<replay::CReplayRecorder>(m_pGame->m_nMode);
        CallGame(replay::EV_START, 0, [this] { m_pGame->Start(this, m_strBasePath); });
    }
    m_nSceenKind = nKind;
    return 1;
}

void CDoruzorODlg::CloseSceen() {
    m_nSceenKind = 0;
    if (m_pMenu) {
        m_pMenu->m_pFont.reset();
        m_pMenu.reset();
    }
    if (m_pGame) {
        FinishRecording();
        m_pGame->Stop();
        m_pGame.reset();
    }
    CloseGameClock();
}

void CDoruzorODlg::CloseGameClock() {
    if (m_bPaused) {
        m_bPaused = false;
        HoldGameSounds(false);
    }
    if (!m_pGameClock)
        return;
    // Another clock put in since (a test's) stays where it is.
    if (plat::GetClock() == m_pGameClock.get())
        plat::SetClock(m_pGameClock->Base());
    m_pGameClock.reset();
}

template <typename F>
void CDoruzorODlg::CallGame(replay::EEvent kind, unsigned nKey, F&& fn) {
    if (m_nGameCalls > 0) {
        m_bPaintMissed = m_bPaintMissed || kind == replay::EV_DRAW;
        return;
    }
    ++m_nGameCalls;
    {
        const replay::CReplayRecorder::CCall call(m_pRecorder.get(), kind, nKey);
        fn();
    }
    --m_nGameCalls;
    if (m_bPaintMissed) {
        m_bPaintMissed = false;
        PostPaint();
    }
}

// The game's course is over once the host acts on its result or closes it:
// what comes after (the registration) is no part of it.
void CDoruzorODlg::FinishRecording() {
    if (!m_pRecorder || !m_pGame)
        return;
    const std::unique_ptr<replay::CReplayRecorder> pRecorder = std::move(m_pRecorder);
    std::string file;
    std::string err;
    if (!pRecorder->Finish(*m_pGame, file, err)) {
        TellLostReplay("This game was not recorded: " + err + ".");
        return;
    }
    m_strLastReplay = file;
    std::string path;
    // A full disk or a read-only home loses the replay and nothing else.
    if (!replay::SaveReplay(m_strReplayFolder, file, std::time(nullptr), m_pGame->m_nMode,
                            m_pGame->m_nScore, path, err))
        TellLostReplay("This game's replay could not be saved: " + err + ".");
}

void CDoruzorODlg::TellLostReplay(const std::string& strText) {
    std::fprintf(stderr, "doruzoro: %s\n", strText.c_str());
    plat::Announce(strText, "DoruzorO");
}

void CDoruzorODlg::OnTimer(unsigned id) {
    // A box or dialog open inside a scene's own call (a voice file's
    // message in the menu's key handler) must not see that scene deleted.
    if (id != kTickTimer || m_bRegistering || m_bPaused || plat::InNestedLoop()) {
        return;
    }
    if (m_bOfferUnsent && m_nSceenKind == 1) {
        // Asked once, before anything else: the player chooses whether the
        // network is used.
        m_bOfferUnsent = false;
        m_bRegistering = true;
        const bool bAsked = OfferUnsent();
        m_bRegistering = false;
        if (bAsked)
            return;
    }
    if (m_nSceenKind == 1 && m_pMenu) {
        m_pMenu->Tick();
        const int nResult = m_pMenu->m_nResult;
        m_pMenu->m_nResult = -1;
        if (nResult >= 0 && nResult <= 6) {
            ActOnMenuResult(nResult);
            return;
        }
    }
    if (m_nSceenKind == 2 && m_pGame) {
        if (m_nGameCalls > 0 || TickTooSoonAfterPause())
            return;
        if (m_pGameClock)
            m_dwLastGameTick = m_pGameClock->Now();
        CallGame(replay::EV_TICK, 0, [this] { m_pGame->Tick(); });
        const int nResult = m_pGame->m_nResult;
        m_pGame->m_nResult = -1;
        ActOnGameResult(nResult);
    }
}

void CDoruzorODlg::ActOnMenuResult(int nResult) {
    switch (nResult) {
        case 0:
            OpenSceen(2, 0);
            break;
        case 1:
            OpenSceen(2, 1);
            break;
        case 2:
            OpenResultPage(1);
            break;
        case 3:
            OpenResultPage(0);
            break;
        case 4:
            OpenResultPage(2);
            break;
        case 5:
            LaunchUpdater("doruzoro", "doruzoro", "doruzoro");
            break;
        case 6:
            EndDialog(plat::IDOK);
            break;
        default:
            break;
    }
}

void CDoruzorODlg::ActOnGameResult(int nResult) {
    if (nResult < 0) {
        return;
    }
    FinishRecording();
    if (nResult == 2) {
        m_bRegistering = true;
        OfferRegistration();
        m_bRegistering = false;
        OpenSceen(1, 2);
        return;
    }
    OpenSceen(1, nResult);
}

bool CDoruzorODlg::HandleHostKey(const plat::MSG& msg) {
    const unsigned vk = msg.wParam;
    if (CSoundControls::IsSoundKey(vk)) {
        m_sound.OnKey(msg.message, vk);
        return true;
    }
    if (m_nSceenKind == 2 && m_pGame && IsPauseKey(vk)) {
        if (msg.message == plat::WM_KEYUP) {
            if (m_bPaused)
                Resume();
            else
                Pause();
        }
        return true;
    }
    return m_bPaused;  // a paused game hears no key
}

bool CDoruzorODlg::OnHeldKey(const plat::MSG& msg) {
    // The levels may change while an announcement holds the game; they are
    // no part of it.
    if (!CSoundControls::IsSoundKey(msg.wParam))
        return false;
    m_sound.OnKey(msg.message, msg.wParam);
    return true;
}

bool CDoruzorODlg::TickTooSoonAfterPause() {
    // The timer's phase goes on through a pause while the game's clock
    // stands, so the first tick after it could come sooner in the game's
    // time than the timer ever ticks, and a replay's checker would refuse
    // the game. That tick waits for the next.
    if (!m_bResumed || !m_pGameClock)
        return false;
    if (m_pGameClock->Now() - m_dwLastGameTick < static_cast<uint32_t>(kTickMs))
        return true;
    m_bResumed = false;
    return false;
}

void CDoruzorODlg::Pause() {
    if (m_bPaused || m_nSceenKind != 2 || !m_pGame || !m_pGameClock)
        return;
    m_bPaused = true;
    m_pGameClock->Pause();
    HoldGameSounds(true);
    m_sound.SayPaused();
    DrawPauseNotice();
}

void CDoruzorODlg::Resume() {
    if (!m_bPaused)
        return;
    m_bPaused = false;
    m_bResumed = true;
    if (m_pGameClock)
        m_pGameClock->Resume();
    HoldGameSounds(false);
    m_sound.SayResumed();
    // The game's own picture again. A Draw would be a call of its course
    // (the one rule it keeps), made only because of the pause.
    if (m_pGame && m_nGameCalls == 0)
        m_pGame->Paint();
}

// Our own box or dialog taking the focus is no reason to pause; another
// program's window is.
void CDoruzorODlg::OnActivate(bool bActive) {
    if (plat::InNestedLoop() || m_bRegistering)
        return;
    if (!bActive)
        Pause();
    else if (m_bPaused)
        m_sound.SayPaused();  // back at the game: how to go on
}

// Over the last picture of the game, which stays as it was: no paint reaches
// a paused game, as a paint is one of its calls.
void CDoruzorODlg::DrawPauseNotice() {
    const plat::RECT rc = GetClientRect();
    const std::unique_ptr<plat::CDC> dc = GetDC();
    const plat::CBrush black(plat::RGB(0, 0, 0));
    dc->FillRect({0, kPauseNoticeY, rc.right, kPauseNoticeY + kPauseNoticeHeight}, &black);
    plat::CFont font;
    font.CreateFont(kPauseFontHeight, "Arial");
    dc->SelectObject(&font);
    dc->SetBkColor(plat::RGB(0, 0, 0));
    dc->SetTextColor(plat::RGB(255, 255, 255));
    dc->TextOut(kPauseNoticeX, kPauseNoticeY + 10, "PAUSED - press P");
}

bool CDoruzorODlg::PreTranslateMessage(const plat::MSG& msg) {
    const bool bKey = msg.message == plat::WM_KEYDOWN || msg.message == plat::WM_KEYUP;
    if (bKey && HandleHostKey(msg)) {
        return true;  // no scene sees it, so no replay records it
    }
    if (bKey && msg.wParam == plat::VK_ESCAPE) {
        return false;  // Escape never cancels the window: it goes to the scene
    }
    if (bKey && m_nSceenKind == 2 && m_pGame) {
        const unsigned nKey = msg.wParam;
        CallGame(replay::EV_PRETRANSLATE, nKey, [this, nKey] { m_pGame->PreTranslateKey(nKey); });
    }
    return plat::CDialog::PreTranslateMessage(msg);
}

void CDoruzorODlg::OnKeyDown(unsigned vk, unsigned /*repeat*/, unsigned /*flags*/) {
    if (m_nSceenKind == 2 && m_pGame) {
        CallGame(replay::EV_KEYDOWN, vk, [this, vk] { m_pGame->OnKeyDown(vk); });
    }
}

void CDoruzorODlg::OnKeyUp(unsigned vk, unsigned /*repeat*/, unsigned /*flags*/) {
    if (m_nSceenKind == 1 && m_pMenu) {
        m_pMenu->OnKeyUp(vk);
    }
    if (m_nSceenKind == 2 && m_pGame) {
        CallGame(replay::EV_KEYUP, vk, [this, vk] { m_pGame->OnKeyUp(vk); });
    }
}

bool CDoruzorODlg::IsMinimised() const {
    return IsIconic();
}

void CDoruzorODlg::OnPaint() {
    if (m_bPaused) {
        if (!IsMinimised())
            DrawPauseNotice();
        return;
    }
    // The game's paint keeps a rule (a spent laser or barrier ends there),
    // so it runs while the window is minimised too: a game played by ear
    // may never be seen. The menu's only draws.
    if (m_nSceenKind == 1 && m_pMenu && !IsMinimised()) {
        m_pMenu->Draw();
    }
    if (m_nSceenKind == 2 && m_pGame) {
        CallGame(replay::EV_DRAW, 0, [this] { m_pGame->Draw(); });
    }
}

void CDoruzorODlg::OpenResultPage(int nData) {
    ranking::OpenResultPage(nData);  // a browser that does not start is announced
}

int CDoruzorODlg::LaunchUpdater(const std::string& strFile, const std::string& strServerPath,
                                const std::string& strAppTitle) {
    // Ending the modal loop saves the settings and closes the scene.
    return ranking::LaunchUpdater(m_strBasePath, strFile, strServerPath, strAppTitle,
                                  [this] { EndDialog(plat::IDOK); });
}

void CDoruzorODlg::OfferRegistration() {
    if (!m_pGame) {
        return;
    }
    // Read before the dialog's own loop runs, so nested ticks cannot change them.
    const int nLevel = m_pGame->m_nMode - 1;
    const int nScore = m_pGame->m_nScore;
    CDlgSendNet dlg;
    dlg.m_strAria = m_reg.m_strAria;
    dlg.m_strName = m_reg.m_strName;
    if (dlg.DoModal() != plat::IDOK) {
        return;
    }
    m_reg.m_strAria = dlg.m_strAria;
    m_reg.m_strName = dlg.m_strName;
    SUnsentRecord rec;
    rec.strAria = m_reg.m_strAria;
    rec.strName = m_reg.m_strName;
    rec.nLevel = nLevel;
    rec.nScore = nScore;
    rec.strReplay = m_strLastReplay;
    rec.when = std::time(nullptr);
    if (!SendRecord(rec))
        OfferResend(rec);
}

bool CDoruzorODlg::SendRecord(SUnsentRecord& rec) {
    bool bResend = false;
    plat::MessageBox(ranking::SendRecord(rec.strAria, rec.strName, rec.nLevel, rec.nScore,
                                         rec.strReplay, &bResend),
                     "DoruzorO");
    if (!bResend)
        ForgetUnsent(rec);
    return !bResend;
}

void CDoruzorODlg::OfferResend(SUnsentRecord& rec) {
    std::string err;
    const bool bKept = KeepUnsent(m_strUnsentFolder, rec, err);
    if (!bKept)
        std::fprintf(stderr, "doruzoro: the record was not kept to send again: %s\n", err.c_str());
    const std::string text =
        std::string(
            "The ranking could not check the replay of this game now, so the score is "
            "not verified yet. ") +
        (bKept ? "The game keeps it and offers to send it again when it next starts. " : "") +
        "Send it again now?";
    if (plat::AskQuestion(text, "DoruzorO", {"_Send now", "_Later"}, 1, 1) == 0)
        SendRecord(rec);
}

namespace {

std::string DescribeUnsent(const std::vector<SUnsentRecord>& kept) {
    std::string text = kept.size() == 1
                           ? "A score is not verified yet: the ranking could not check its replay "
                             "when it was sent."
                           : std::to_string(kept.size()) +
                                 " scores are not verified yet: the ranking could not check their "
                                 "replays when they were sent.";
    for (const SUnsentRecord& rec : kept) {
        const std::tm local = plat::LocalTime(rec.when);
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        text += " Score " + std::to_string(rec.nScore) +
                (rec.nLevel == 0 ? " in the tutorial" : "") +
                (rec.strName.empty() ? "" : " by " + rec.strName) + ", played " + when + ".";
    }
    return text + (kept.size() == 1 ? " Send it again now?" : " Send them again now?");
}

}  // namespace

bool CDoruzorODlg::OfferUnsent() {
    std::vector<SUnsentRecord> kept = LoadUnsent(m_strUnsentFolder);
    if (kept.empty())
        return false;
    const int nAnswer = plat::AskQuestion(DescribeUnsent(kept), "DoruzorO",
                                          {"_Send now", "_Later", "_Forget them"}, 1, 1);
    for (SUnsentRecord& rec : kept) {
        if (nAnswer == 0)
            SendRecord(rec);
        else if (nAnswer == 2)
            ForgetUnsent(rec);
    }
    return true;
}
