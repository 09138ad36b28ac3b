// The main window: hosts one scene at a time, drives it with the 100 ms
// timer and acts on the result codes it leaves.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/QuibbixReg.h"
#include "game/SceenGame.h"
#include "menu/SceenMenu.h"
#include "platform/window.h"

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

    int OpenSceen(int nKind, int nArg);
    void CloseSceen();

    // Ranking operations. Virtual so that tests can watch the host use them.
    virtual void OpenResultPage(int nData);
    virtual int LaunchUpdater(const std::string& strFile, const std::string& strServerPath,
                              const std::string& strAppTitle);
    virtual void OfferRegistration();

    // Tests stand in their own scenes here.
    using MenuFactory = std::function<std::unique_ptr<CSceenMenu>()>;
    using GameFactory = std::function<std::unique_ptr<CSceenGame>()>;
    void SetSceenFactories(MenuFactory fnMenu, GameFactory fnGame);

    int m_nSceenKind = 0;  // 0 none, 1 menu, 2 game
    std::unique_ptr<CSceenMenu> m_pMenu;
    std::unique_ptr<CSceenGame> m_pGame;
    CQuibbixReg m_reg;
    std::string m_strBasePath;

private:
    void ActOnMenuResult(int nResult);
    void ActOnGameResult(int nResult);
    std::vector<std::string> IconFiles() const;

    MenuFactory m_fnNewMenu;
    GameFactory m_fnNewGame;
    // Set while the registration runs its own modal loop inside OnTimer:
    // nested ticks then leave the scenes alone, so the game the
    // registration reads cannot be closed under it.
    bool m_bRegistering = false;
};
