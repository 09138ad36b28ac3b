// The parts of the window that are the same on every implementation: paint
// coalescing, the modal loop's result, and the route of keys and ticks.
#include "platform/window.h"

#include "platform/keys.h"

namespace plat {

RECT CWnd::GetClientRect() const {
    RECT rc;
    rc.right = m_pSurface->GetWidth();
    rc.bottom = m_pSurface->GetHeight();
    return rc;
}

void CWnd::PostPaint() {
    if (m_bPaintPending) {
        return;  // posted paints coalesce, as the system's do
    }
    m_bPaintPending = true;
    SchedulePaint();
}

bool CWnd::DispatchPendingPaint() {
    if (!m_bPaintPending) {
        return false;
    }
    m_bPaintPending = false;
    OnPaint();
    return true;
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    QuitModalLoop();
}

bool CDialog::IsModalLoopEnded() const {
    return m_bEnded;
}

void CDialog::DeliverKey(unsigned message, unsigned vk) {
    MSG msg;
    msg.message = message;
    msg.wParam = vk;
    if (PreTranslateMessage(msg)) {
        return;
    }
    if (message == WM_KEYDOWN) {
        OnKeyDown(vk, 1, 0);
    } else {
        OnKeyUp(vk, 1, 0);
    }
}

void CDialog::DeliverTimer(unsigned id) {
    if (!m_bEnded) {
        OnTimer(id);
    }
}

void CDialog::DeliverClose() {
    OnCancel();
}

bool CDialog::PreTranslateMessage(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) {
        return false;
    }
    if (msg.wParam == VK_RETURN) {
        OnOK();
        return true;
    }
    if (msg.wParam == VK_ESCAPE) {
        OnCancel();
        return true;
    }
    return false;
}

}  // namespace plat
