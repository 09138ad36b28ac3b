#include "game/SceenGame.h"

#include "platform/window.h"

CSceenGame::CSceenGame() = default;
CSceenGame::~CSceenGame() = default;

void CSceenGame::Start(plat::CWnd* pHost, const std::string& strBasePath) {
    m_pHost = pHost;
    m_strBasePath = strBasePath;
}

void CSceenGame::Tick() {}
void CSceenGame::Draw() {}
void CSceenGame::OnKeyUp(unsigned /*nKey*/) {}
void CSceenGame::OnKeyDown(unsigned /*nKey*/) {}
void CSceenGame::PreTranslateKey(unsigned /*nKey*/) {}
void CSceenGame::Stop() {}
