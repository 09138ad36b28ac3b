// The game scene's life: construction, start, stop and its small helpers.
#include "game/SceenGame.h"

#include <cstdio>

#include "platform/window.h"

CSceenGame::CSceenGame()
    : m_pFontSmall(std::make_unique<plat::CFont>()), m_pFontLarge(std::make_unique<plat::CFont>()) {
    m_sound.m_nDeviceKind = 1;
    m_pFontSmall->CreatePointFont(200, "Arial");
    m_pFontLarge->CreatePointFont(500, "Arial");
}

CSceenGame::~CSceenGame() {
    m_pFontSmall.reset();
    m_pFontLarge.reset();
    CSceenGame::Stop();
}

void CSceenGame::Start(plat::CWnd* pHost, const std::string& strBasePath) {
    m_pHost = pHost;
    m_strBasePath = strBasePath;
}

void CSceenGame::Stop() {}

void CSceenGame::SetTextLines(const std::string& a, const std::string& b, const std::string& c) {
    m_arrTextLines.clear();
    for (const std::string* s : {&a, &b, &c}) {
        if (!s->empty())
            m_arrTextLines.push_back(*s);
    }
}

int CSceenGame::AddSound(const std::string& strName) {
    const int id = m_nSoundCount;
    m_sound.AddFile(m_strBasePath + strName + ".kwv", static_cast<unsigned int>(id));
    ++m_nSoundCount;
    return id;
}

void CSceenGame::RequestRepaint() {
    if (m_pHost)
        m_pHost->PostPaint();
}
