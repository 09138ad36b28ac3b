// A main window "DoruzorO" for the dialog drivers of the GUI tests: it runs
// a function once, from its first tick, as the game opens its dialogs from
// the timer, and stays open afterwards (until it is asked to close), so that
// a test can see where the focus goes when the dialog closes.
#pragma once
#include <functional>
#include <utility>

#include "platform/window.h"

class CHostWindow : public plat::CDialog {
public:
    explicit CHostWindow(std::function<void()> fnFirstTick)
        : CDialog("DoruzorO", 488, 351), m_fnFirstTick(std::move(fnFirstTick)) {}
    bool OnInitDialog() override { return SetTimer(1, 100); }
    // Ticks go on while the dialog runs its own loop: only the first acts.
    void OnTimer(unsigned) override {
        if (m_bDone)
            return;
        m_bDone = true;
        m_fnFirstTick();
    }
    // As in the game, Escape and Enter never close the main window; being
    // asked to close (the window manager, SIGTERM) does.
    bool PreTranslateMessage(const plat::MSG& msg) override {
        const bool bKey = msg.message == plat::WM_KEYDOWN || msg.message == plat::WM_KEYUP;
        return bKey && (msg.wParam == kVkReturn || msg.wParam == kVkEscape);
    }

private:
    static constexpr unsigned kVkReturn = 0x0D;
    static constexpr unsigned kVkEscape = 0x1B;
    std::function<void()> m_fnFirstTick;
    bool m_bDone = false;
};
