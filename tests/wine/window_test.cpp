// The Win32 main window, toolkit loop and question box on a real display
// (run by tests/wine/gui.sh under Wine and Xvfb): messages go through the
// system's queue to the window as the system's own would.
#include "platform/window.h"
#include "platform/keys.h"
#include "platform/native.h"
#include "platform/toolkit.h"
#include "platform/win32/window_internal.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs a step on its first tick, records what reaches it, and ends when told.
class CProbeDlg : public plat::CDialog {
public:
    CProbeDlg() : plat::CDialog("Probe", 100, 60) {}
    bool OnInitDialog() override {
        SetTimer(1, 100);
        return true;
    }
    void OnTimer(unsigned /*id*/) override {
        ++m_nTicks;
        if (m_bStarted)
            return;
        m_bStarted = true;
        if (m_fnStep)
            m_fnStep(*this);
    }
    bool PreTranslateMessage(const plat::MSG& /*msg*/) override { return false; }
    void OnKeyDown(unsigned vk, unsigned, unsigned) override {
        m_strKeys += "d" + std::to_string(vk) + " ";
        if (m_fnOnKey)
            m_fnOnKey(vk);
    }
    void OnKeyUp(unsigned vk, unsigned, unsigned) override {
        m_strKeys += "u" + std::to_string(vk) + " ";
    }
    void OnPaint() override { ++m_nPaints; }
    HWND Hwnd() const { return static_cast<HWND>(GetNativeWindow()); }
    void Post(UINT message, WPARAM vk, LPARAM lParam = 1) {
        PostMessageW(Hwnd(), message, vk, lParam);
    }

    std::function<void(CProbeDlg&)> m_fnStep;
    std::function<void(unsigned)> m_fnOnKey;
    std::string m_strKeys;
    int m_nTicks = 0;
    int m_nPaints = 0;
    bool m_bStarted = false;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!plat::InitToolkit(nullptr, nullptr))
            GTEST_SKIP() << "no display";
    }
};

TEST_F(WindowTest, KeysArriveAsTheScenesCodesWithEachRepeat) {
    CProbeDlg dlg;
    dlg.m_fnStep = [](CProbeDlg& d) {
        EXPECT_EQ(plat::win32::MainWindowHandle(), d.Hwnd());
        d.Post(WM_KEYDOWN, VK_LEFT, 3);  // three counted repeats
        d.Post(WM_KEYUP, VK_LEFT);
        d.Post(WM_SYSKEYDOWN, VK_MENU);  // Alt
        d.Post(WM_SYSKEYUP, VK_MENU);
        d.Post(WM_SYSKEYDOWN, VK_F10);
        d.Post(WM_KEYDOWN, VK_OEM_COMMA);
        d.Post(WM_KEYDOWN, VK_ESCAPE);  // the dialog's own handling is off here
        d.Post(WM_KEYDOWN, VK_RETURN);
        d.Post(WM_APP + 99, 0);
    };
    dlg.m_fnOnKey = [&dlg](unsigned vk) {
        if (vk == VK_RETURN)
            dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_strKeys, "d37 d37 d37 u37 d18 u18 d121 d255 d27 d13 ");
    EXPECT_EQ(plat::win32::MainWindowHandle(), nullptr);
}

TEST_F(WindowTest, KeysDuringAHeldSleepWaitInOrderAndTicksAreDropped) {
    CProbeDlg dlg;
    int nTicksBefore = 0;
    int nTicksAfter = 0;
    std::string keysInSleep;
    dlg.m_fnOnKey = [&](unsigned vk) {
        if (vk != 'A')
            return;
        dlg.Post(WM_KEYDOWN, 'B');
        dlg.Post(WM_KEYUP, 'B');
        nTicksBefore = dlg.m_nTicks;
        const DWORD t0 = GetTickCount();
        EXPECT_TRUE(plat::SleepInLoop(350));
        EXPECT_GE(GetTickCount() - t0, 340u);
        nTicksAfter = dlg.m_nTicks;
        keysInSleep = dlg.m_strKeys;
        dlg.Post(WM_KEYDOWN, VK_RETURN);
    };
    dlg.m_fnStep = [](CProbeDlg& d) { d.Post(WM_KEYDOWN, 'A'); };
    auto onKey = dlg.m_fnOnKey;
    dlg.m_fnOnKey = [&](unsigned vk) {
        onKey(vk);
        if (vk == VK_RETURN)
            dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(keysInSleep, "d65 ");  // B waited for the handler that slept
    EXPECT_EQ(nTicksAfter, nTicksBefore);
    EXPECT_EQ(dlg.m_strKeys, "d65 d66 u66 d13 ");
}

TEST_F(WindowTest, AQuitDuringAHeldSleepEndsTheLoopOutside) {
    CProbeDlg dlg;
    dlg.m_fnStep = [](CProbeDlg&) {
        PostQuitMessage(0);
        const DWORD t0 = GetTickCount();
        EXPECT_TRUE(plat::SleepInLoop(200));
        EXPECT_GE(GetTickCount() - t0, 190u);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(WindowTest, APostedPaintRunsOnceAndAlsoWhileMinimised) {
    CProbeDlg dlg;
    int nPaintsShown = 0;
    dlg.m_fnStep = [&](CProbeDlg& d) {
        d.PostPaint();
        d.PostPaint();  // coalesced
        plat::native::RunLoopFor(150);
        nPaintsShown = d.m_nPaints;
        ShowWindow(d.Hwnd(), SW_MINIMIZE);
        EXPECT_TRUE(d.IsIconic());
        d.PostPaint();
        d.Post(WM_KEYDOWN, VK_RETURN);
    };
    dlg.m_fnOnKey = [&](unsigned vk) {
        if (vk == VK_RETURN)
            dlg.EndDialog(IDOK);
    };
    dlg.DoModal();
    // The one DoModal posts first, then the step's two as one.
    EXPECT_EQ(nPaintsShown, 2);
    EXPECT_EQ(dlg.m_nPaints, 3);
}

// The question box as a screen reader finds it, answered from its own loop
// while the window's ticks go on.
struct SBoxSeen {
    std::wstring caption, text, focus;
    std::vector<std::wstring> buttons;
    bool bDefaultIsSecond = false;
};

SBoxSeen Inspect(HWND box) {
    SBoxSeen seen;
    wchar_t buf[256] = {};
    GetWindowTextW(box, buf, 256);
    seen.caption = buf;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        GetWindowTextW(child, buf, 256);
        if (wcscmp(cls, L"Static") == 0)
            seen.text = buf;
        else
            seen.buttons.push_back(buf);
        if ((GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON)
            seen.bDefaultIsSecond = seen.buttons.size() == 2;
    }
    GetWindowTextW(GetFocus(), buf, 256);
    seen.focus = buf;
    return seen;
}

// Answers the box open on the window's thread once three of the window's
// ticks came while it was open.
struct SAnswerer {
    const CProbeDlg* pDlg;
    int nStart;
    UINT message;
    WPARAM key;
    SBoxSeen* pSeen;
    bool bDone = false;
};
SAnswerer* g_pAnswerer = nullptr;

void CALLBACK AnswerWhenDue(HWND, UINT, UINT_PTR, DWORD) {
    SAnswerer* a = g_pAnswerer;
    if (!a || a->bDone || a->pDlg->m_nTicks - a->nStart < 3)
        return;
    a->bDone = true;
    if (a->pSeen)
        *a->pSeen = Inspect(GetActiveWindow());
    PostMessageW(GetFocus(), a->message, a->key, 1);
}

int AskWhileTicking(CProbeDlg& dlg, UINT message, WPARAM key, SBoxSeen* seen) {
    int nAnswer = -2;
    int nTicksIn = 0;
    dlg.m_fnStep = [&](CProbeDlg& d) {
        SAnswerer answerer{&d, d.m_nTicks, message, key, seen};
        g_pAnswerer = &answerer;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerWhenDue);
        nAnswer = plat::native::AskQuestion("Send the record now?", "Question",
                                            {"_Forget", "_Later", "Send & go"}, 1);
        KillTimer(nullptr, timer);
        g_pAnswerer = nullptr;
        nTicksIn = d.m_nTicks - answerer.nStart;
        d.EndDialog(IDOK);
    };
    dlg.DoModal();
    EXPECT_GE(nTicksIn, 3) << "the window's ticks stopped while the box was open";
    return nAnswer;
}

TEST_F(WindowTest, QuestionBoxIsReadAsCaptionTextAndButtonsWithTheDefaultFocused) {
    CProbeDlg dlg;
    SBoxSeen seen;
    EXPECT_EQ(AskWhileTicking(dlg, WM_KEYDOWN, VK_RETURN, &seen), 1);
    EXPECT_EQ(seen.caption, L"Question");
    EXPECT_EQ(seen.text, L"Send the record now?");
    EXPECT_EQ(seen.buttons, (std::vector<std::wstring>{L"&Forget", L"&Later", L"Send && go"}));
    EXPECT_TRUE(seen.bDefaultIsSecond);
    EXPECT_EQ(seen.focus, L"&Later");
}

TEST_F(WindowTest, QuestionBoxEscapeGivesNoAnswerAndAMnemonicItsButton) {
    CProbeDlg escape;
    EXPECT_EQ(AskWhileTicking(escape, WM_KEYDOWN, VK_ESCAPE, nullptr), -1);
    CProbeDlg mnemonic;
    EXPECT_EQ(AskWhileTicking(mnemonic, WM_CHAR, 'f', nullptr), 0);
}

}  // namespace
