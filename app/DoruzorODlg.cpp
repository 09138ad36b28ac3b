#include "app/DoruzorODlg.h"

#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/toolkit.h"
#include "ranking/DlgSendNet.h"
#include "ranking/Ranking.h"

namespace {
constexpr int kDialogWidthDlu = 488;
constexpr int kDialogHeightDlu = 351;
constexpr unsigned kTickTimer = 1;
constexpr unsigned kTickMs = 100;
}  // namespace

CDoruzorODlg::CDoruzorODlg()
    : plat::CDialog("DoruzorO", kDialogWidthDlu, kDialogHeightDlu),
      m_fnNewMenu([] { return std::make_unique<CSceenMenu>(); }),
      m_fnNewGame([] { return std::make_unique<CSceenGame>(); }) {}

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
    OpenSceen(1, 0);
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
    } else if (nKind == 2) {
        m_pGame = m_fnNewGame();
        m_pGame->m_nMode = nArg + 1;
        m_pGame->Start(this, m_strBasePath);
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
        m_pGame->Stop();
        m_pGame.reset();
    }
}

void CDoruzorODlg::OnTimer(unsigned id) {
    // A box or dialog open inside a scene's own call (a voice file's
    // message in the menu's key handler) must not see that scene deleted.
    if (id != kTickTimer || m_bRegistering || plat::InNestedLoop()) {
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
        m_pGame->Tick();
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
    if (nResult == 2) {
        m_bRegistering = true;
        OfferRegistration();
        m_bRegistering = false;
        OpenSceen(1, 2);
        return;
    }
    OpenSceen(1, nResult);
}

bool CDoruzorODlg::PreTranslateMessage(const plat::MSG& msg) {
    const bool bKey = msg.message == plat::WM_KEYDOWN || msg.message == plat::WM_KEYUP;
    if (bKey && msg.wParam == plat::VK_ESCAPE) {
        return false;  // Escape never cancels the window: it goes to the scene
    }
    if (bKey && m_nSceenKind == 2 && m_pGame) {
        m_pGame->PreTranslateKey(msg.wParam);
    }
    return plat::CDialog::PreTranslateMessage(msg);
}

void CDoruzorODlg::OnKeyDown(unsigned vk, unsigned /*repeat*/, unsigned /*flags*/) {
    if (m_nSceenKind == 2 && m_pGame) {
        m_pGame->OnKeyDown(vk);
    }
}

void CDoruzorODlg::OnKeyUp(unsigned vk, unsigned /*repeat*/, unsigned /*flags*/) {
    if (m_nSceenKind == 1 && m_pMenu) {
        m_pMenu->OnKeyUp(vk);
    }
    if (m_nSceenKind == 2 && m_pGame) {
        m_pGame->OnKeyUp(vk);
    }
}

void CDoruzorODlg::OnPaint() {
    if (IsIconic()) {
        return;  // the window manager shows the icon
    }
    if (m_nSceenKind == 1 && m_pMenu) {
        m_pMenu->Draw();
    }
    if (m_nSceenKind == 2 && m_pGame) {
        m_pGame->Draw();
    }
}

void CDoruzorODlg::OpenResultPage(int nData) {
    ranking::OpenResultPage(nData);
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
    plat::MessageBox(ranking::SendRecord(m_reg.m_strAria, m_reg.m_strName, nLevel, nScore),
                     "DoruzorO");
}
