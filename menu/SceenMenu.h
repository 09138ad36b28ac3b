// The spoken menu scene: seven entries, each spoken when reached.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/BaseSceen.h"
#include "platform/gfx.h"
#include "sound/SoundPlay.h"

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

    static constexpr int kTitleId = 0;
    static constexpr int kTuneId = 8;
    static constexpr uint32_t kTuneDelay = 1500;  // ms after the title starts

    CSoundPlay m_soundPlay;
    std::vector<std::string> m_arrItems;
    // Created by Start; the host deletes it when it closes the menu.
    std::unique_ptr<plat::CFont> m_pFont;
    int m_nCursor = 0;
    int m_nResult = -1;
    uint32_t m_dwMusicTime = 0;  // when the tune is due; 0 once it plays

protected:
    plat::CWnd* m_pHost = nullptr;
    std::string m_strBasePath;
};
