#include "menu/SceenMenu.h"

#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/window.h"

namespace {

struct SMenuEntry {
    const char* szLabel;
    const char* szVoice;
};

constexpr SMenuEntry kEntries[] = {
    {"Tutorial", "\\sound\\menu\\tutorial.kwv"},
    {"Game", "\\sound\\menu\\game.kwv"},
    {"NetRecord", "\\sound\\menu\\NetRecord.kwv"},
    {"NewChallenger", "\\sound\\menu\\Challenger.kwv"},
    {"NetCountry", "\\sound\\menu\\Country.kwv"},
    {"Update", "\\sound\\menu\\update.kwv"},
    {"End", "\\sound\\menu\\end.kwv"},
};
constexpr int kEntryCount = static_cast<int>(sizeof(kEntries) / sizeof(kEntries[0]));

// Arial at 40 points on a 96 dpi screen.
constexpr int kFontHeight = -(plat::kScreenDpi * 400 / 720);
constexpr uint32_t kTitlePause = 500;

}  // namespace

CSceenMenu::CSceenMenu() {
    m_soundPlay.m_nDeviceKind = 0;
}

// m_soundPlay stops every menu sound, the looping tune included, as it goes.
CSceenMenu::~CSceenMenu() = default;

void CSceenMenu::Start(plat::CWnd* pHost, const std::string& strBasePath) {
    for (const SMenuEntry& entry : kEntries) {
        m_arrItems.emplace_back(entry.szLabel);
    }
    m_pFont = std::make_unique<plat::CFont>();
    m_pFont->CreateFont(kFontHeight, "Arial");
    m_nCursor = 0;
    m_pHost = pHost;
    m_soundPlay.CreateDevice(pHost);
    m_strBasePath = strBasePath;
    m_soundPlay.AddFile(m_strBasePath + "\\sound\\menu\\Title.kwv", kTitleId);
    for (int i = 0; i < kEntryCount; ++i) {
        m_soundPlay.AddFile(m_strBasePath + kEntries[i].szVoice, static_cast<unsigned>(i + 1));
    }
    m_soundPlay.AddFile(m_strBasePath + "\\sound\\opning.kwv", kTuneId);
    plat::Sleep(kTitlePause);
    // After a game, its hums and missiles have left ids 0 to 2 nearly silent.
    PlayAtOwnVolume(m_soundPlay, kTitleId, 0);
    m_dwMusicTime = plat::GetTickCount() + kTuneDelay;
}

void CSceenMenu::Tick() {
    const uint32_t dwNow = plat::GetTickCount();
    if (m_dwMusicTime != 0 && dwNow > m_dwMusicTime) {
        m_dwMusicTime = 0;
        PlayAtOwnVolume(m_soundPlay, kTuneId, kPlayLooping);
    }
}

void CSceenMenu::OnKeyUp(unsigned nKey) {
    if (nKey == plat::VK_UP) {
        --m_nCursor;
    } else if (nKey == plat::VK_DOWN) {
        ++m_nCursor;
    }
    if (m_nCursor < 0) {
        m_nCursor = 0;
    }
    if (m_nCursor >= kEntryCount) {
        m_nCursor = kEntryCount - 1;
    }
    if (nKey == plat::VK_SPACE || nKey == plat::VK_RETURN) {
        m_nResult = m_nCursor;
    }
    // Every key speaks the current entry from its start, so a player who
    // lost track can press anything to hear where the cursor is.
    PlayAtOwnVolume(m_soundPlay, m_nCursor + 1, 0);
    if (m_pHost) {
        m_pHost->PostPaint();
    }
}

void CSceenMenu::Draw() {
    if (!m_pHost) {
        return;
    }
    const plat::RECT rc = m_pHost->GetClientRect();
    const plat::CBrush black(plat::RGB(0, 0, 0));
    const std::unique_ptr<plat::CDC> dc = m_pHost->GetDC();
    const plat::CBrush* pOld = dc->SelectObject(&black);
    dc->Rectangle(rc.left, rc.top, rc.right, rc.bottom);
    dc->SelectObject(m_pFont.get());
    dc->SetBkColor(plat::RGB(0, 0, 0));
    for (int i = 0; i < static_cast<int>(m_arrItems.size()); ++i) {
        const bool bCurrent = i == m_nCursor;
        dc->SetTextColor(bCurrent ? plat::RGB(255, 255, 0) : plat::RGB(255, 255, 255));
        dc->TextOut(10, 10 + 80 * i, m_arrItems[i]);
    }
    dc->SelectObject(pOld);
}
