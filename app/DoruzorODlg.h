// The main window: hosts one scene at a time, drives it with the 100 ms
// timer and acts on the result codes it leaves.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/GameClock.h"
#include "app/QuibbixReg.h"
#include "app/SoundControls.h"
#include "app/UnsentRecords.h"
#include "game/SceenGame.h"
#include "menu/SceenMenu.h"
#include "platform/window.h"
#include "replay/ReplayRecorder.h"

class CDoruzorODlg : public plat::CDialog {
public:
    CDoruzorODlg();
    ~CDoruzorODlg() override;

    bool OnInitDialog() override;
    bool DestroyWindow() override;
    bool PreTranslateMessage(const plat::MSG& msg) override;
    void OnTimer(unsigned id) override;
    void OnKeyDown(unsigned vk, unsigned repeat, unsigned flags) override;
    void OnKeyUp(unsigned vk, unsigned repeat, unsigned flags) override;
    void OnPaint() override;
    void OnOK() override {}  // Enter never ends the dialog
    void OnActivate(bool bActive) override;
    bool OnHeldKey(const plat::MSG& msg) override;
    // The window is an icon; tests stand in a minimised window here.
    virtual bool IsMinimised() const;

    int OpenSceen(int nKind, int nArg);
    void CloseSceen();

    // Ranking operations. Virtual so that tests can watch the host use them.
    virtual void OpenResultPage(int nData);
    virtual int LaunchUpdater(const std::string& strFile, const std::string& strServerPath,
                              const std::string& strAppTitle);
    virtual void OfferRegistration();

    // Every game scene is recorded unless this is off (--no-record), and
    // saved in m_strReplayFolder when it ends.
    bool m_bRecord = true;
    std::string m_strReplayFolder;
    // The replay of the last game that was recorded, as saved.
    std::string m_strLastReplay;
    // Records the ranking could not judge yet wait here to be sent again;
    // set at start, the first tick of the menu offers them.
    std::string m_strUnsentFolder;
    bool m_bOfferUnsent = false;

    // Tests stand in their own scenes here.
    using MenuFactory = std::function<std::unique_ptr<CSceenMenu>()>;
    using GameFactory = std::function<std::unique_ptr<CSceenGame>()>;
    void SetSceenFactories(MenuFactory fnMenu, GameFactory fnGame);

    int m_nSceenKind = 0;  // 0 none, 1 menu, 2 game
    std::unique_ptr<CSceenMenu> m_pMenu;
    std::unique_ptr<CSceenGame> m_pGame;
    CQuibbixReg m_reg;
    std::string m_strBasePath;
    // The player's volume keys, in the menu and the game.
    CSoundControls m_sound{this, m_strBasePath};

    // P, the Pause key or the loss of the focus pause the game: no tick, no
    // key and no paint reaches it, its sounds hold, and its clock stands.
    bool IsPaused() const { return m_bPaused; }
    void Pause();
    void Resume();

private:
    bool TickTooSoonAfterPause();
    // The player's own keys: true when the key is the host's, never a scene's.
    bool HandleHostKey(const plat::MSG& msg);
    void DrawPauseNotice();
    void CloseGameClock();
    void ActOnMenuResult(int nResult);
    void ActOnGameResult(int nResult);
    std::vector<std::string> IconFiles() const;
    // Every call on the game goes through here: it is recorded, and none
    // runs while another is on the stack (a message box's own loop would
    // otherwise tick or paint the game inside one of its operations).
    template <typename F>
    void CallGame(replay::EEvent kind, unsigned nKey, F&& fn);
    void FinishRecording();
    // Said (or shown) and written to standard error.
    void TellLostReplay(const std::string& strText);
    // Sends a record with its replay and shows the reply; false when the
    // ranking judged nothing (busy, out of reach), and it is kept if it was.
    bool SendRecord(SUnsentRecord& rec);
    void OfferResend(SUnsentRecord& rec);
    // False when nothing was kept to offer.
    bool OfferUnsent();

    MenuFactory m_fnNewMenu;
    GameFactory m_fnNewGame;
    // Set while the registration runs its own modal loop inside OnTimer:
    // nested ticks then leave the scenes alone, so the game the
    // registration reads cannot be closed under it.
    bool m_bRegistering = false;
    int m_nGameCalls = 0;
    bool m_bPaintMissed = false;
    bool m_bPaused = false;
    bool m_bResumed = false;        // until the first tick after a pause
    uint32_t m_dwLastGameTick = 0;  // the game's clock at its last tick
    // In front of the clock while a game is open, behind the recorder.
    std::unique_ptr<CGameClock> m_pGameClock;
    std::unique_ptr<replay::CReplayRecorder> m_pRecorder;
};
