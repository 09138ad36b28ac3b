// The spoken menu scene.
#pragma once
#include <memory>
#include <string>

#include "platform/BaseSceen.h"
#include "platform/gfx.h"

namespace plat {
class CWnd;
}

class CSceenMenu : public CBaseSceen {
public:
    CSceenMenu();
    ~CSceenMenu() override;

    // Virtual so that tests can stand in their own scenes for the host.
    virtual void Start(plat::CWnd* pHost, const std::string& strBasePath);
    virtual void Tick();
    virtual void Draw();
    virtual void OnKeyUp(unsigned nKey);

    int m_nResult = -1;
    // Created by Start; the host deletes it when it closes the menu.
    std::unique_ptr<plat::CFont> m_pFont;

protected:
    plat::CWnd* m_pHost = nullptr;
    std::string m_strBasePath;
};
