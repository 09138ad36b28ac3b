// The game scene: the normal game and the tutorial.
#pragma once
#include <string>

#include "platform/BaseSceen.h"

namespace plat {
class CWnd;
}

class CSceenGame : public CBaseSceen {
public:
    CSceenGame();
    ~CSceenGame() override;

    // Virtual so that tests can stand in their own scenes for the host.
    virtual void Start(plat::CWnd* pHost, const std::string& strBasePath);
    virtual void Tick();
    virtual void Draw();
    virtual void OnKeyUp(unsigned nKey);
    virtual void OnKeyDown(unsigned nKey);
    virtual void PreTranslateKey(unsigned nKey);
    virtual void Stop();

    int m_nResult = -1;
    int m_nMode = 0;  // 1 tutorial, 2 normal game; set by the host before Start
    int m_nScore = 0;

protected:
    plat::CWnd* m_pHost = nullptr;
    std::string m_strBasePath;
};
