// The main window as a fixed-size dialog: a timer, keys delivered as
// virtual-key messages, and a picture that scenes draw into at any time.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx.h"

namespace plat {

enum : unsigned { WM_PAINT = 0x000F, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_TIMER = 0x0113 };
enum { IDOK = 1, IDCANCEL = 2 };

struct MSG {
    unsigned message = 0;
    unsigned wParam = 0;  // the virtual-key code of a key message
};

// Dialog units to pixels at the dialog font's base units (6 x 13).
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int DluToPixelsX(int dlu) {
    return dlu * kBaseUnitX / 4;
}
constexpr int DluToPixelsY(int dlu) {
    return dlu * kBaseUnitY / 8;
}

// Folder of the running program (for its icons).
std::string ExecutableDir();

class CWnd {
public:
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // A context that draws into the window's picture; the window shows the
    // result when the context is released.
    std::unique_ptr<CDC> GetDC();
    RECT GetClientRect() const;
    // Posts WM_PAINT: OnPaint runs once the current message is done.
    void PostPaint();
    // Runs a posted paint now (headless tests; the toolkit does it itself).
    bool DispatchPendingPaint();
    const CSurface& GetSurface() const { return *m_pSurface; }
    // The toolkit window, for dialogs that belong to it; null when headless.
    void* GetNativeWindow() const;
    bool IsIconic() const;

    virtual void OnPaint() {}

protected:
    CWnd(int cx, int cy);

    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
    std::unique_ptr<CSurface> m_pSurface;

private:
    // Has the implementation's loop call DispatchPendingPaint soon (nothing
    // when headless: tests dispatch it themselves).
    void SchedulePaint();
    bool m_bPaintPending = false;
};

class CDialog : public CWnd {
public:
    CDialog(std::string caption, int cxDlu, int cyDlu);
    ~CDialog() override;

    // Shows the window, runs OnInitDialog and then the modal loop until
    // EndDialog; DestroyWindow runs when the loop ends. -1 without a display.
    int DoModal();
    void EndDialog(int result);
    bool IsModalLoopEnded() const;
    // Ticks arrive as OnTimer(id), also while a nested modal loop runs.
    bool SetTimer(unsigned id, unsigned ms);
    void SetIcon(const std::vector<std::string>& pngFiles);

    // Entry points of the toolkit's events (tests call them as well).
    void DeliverKey(unsigned message, unsigned vk);
    void DeliverTimer(unsigned id);
    void DeliverClose();

    virtual bool OnInitDialog() { return true; }
    virtual bool DestroyWindow();
    // True when the message was handled and must not be dispatched. The
    // dialog's own handling turns Enter into OnOK and Escape into OnCancel.
    virtual bool PreTranslateMessage(const MSG& msg);
    virtual void OnTimer(unsigned /*id*/) {}
    virtual void OnKeyDown(unsigned /*vk*/, unsigned /*repeat*/, unsigned /*flags*/) {}
    virtual void OnKeyUp(unsigned /*vk*/, unsigned /*repeat*/, unsigned /*flags*/) {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

private:
    void QuitModalLoop();  // the implementation's loop returns from DoModal
    std::string m_strCaption;
    int m_nResult = -1;
    bool m_bEnded = false;
};

}  // namespace plat
