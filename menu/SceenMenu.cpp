#include "menu/SceenMenu.h"

#include "platform/window.h"

CSceenMenu::CSceenMenu() = default;
CSceenMenu::~CSceenMenu() = default;

void CSceenMenu::Start(plat::CWnd* pHost, const std::string& strBasePath) {
    m_pHost = pHost;
    m_strBasePath = strBasePath;
}

void CSceenMenu::Tick() {}

void CSceenMenu::Draw() {
    if (!m_pHost) {
        return;
    }
    const plat::RECT rc = m_pHost->GetClientRect();
    const plat::CBrush black(plat::RGB(0, 0, 0));
    auto dc = m_pHost->GetDC();
    const plat::CBrush* old = dc->SelectObject(&black);
    dc->Rectangle(rc.left, rc.top, rc.right, rc.bottom);
    dc->SelectObject(old);
}

void CSceenMenu::OnKeyUp(unsigned /*nKey*/) {}
