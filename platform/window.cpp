// The parts of the window that are the same on every implementation: paint
// coalescing, the modal loop's result, and the route of keys and ticks.
#include "platform/window.h"

#include "platform/keys.h"
#include "platform/toolkit.h"

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
    if (InHeldSleep()) {
        m_bPaintHeld = true;  // the scene is in the middle of a call
        return false;
    }
    m_bPaintPending = false;
    OnPaint();
    return true;
}

void CWnd::ResumeHeldPaint() {
    if (m_bPaintHeld) {
        m_bPaintHeld = false;
        SchedulePaint();
    }
}

void CDialog::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    QuitModalLoop();
}

bool CDialog::IsModalLoopEnded() const {
    return m_bEnded;
}

void CDialog::Dispatch(const MSG& msg) {
    if (msg.message == WM_ACTIVATE) {
        OnActivate(msg.wParam != 0);
        return;
    }
    if (PreTranslateMessage(msg)) {
        return;
    }
    if (msg.message == WM_KEYDOWN) {
        OnKeyDown(msg.wParam, 1, 0);
    } else {
        OnKeyUp(msg.wParam, 1, 0);
    }
}

// Each message may sleep again; what comes meanwhile queues behind.
void CDialog::DeliverHeld() {
    while (!m_arrHeld.empty() && !InHeldSleep()) {
        const MSG msg = m_arrHeld.front();
        m_arrHeld.erase(m_arrHeld.begin());
        Dispatch(msg);
    }
    if (!InHeldSleep()) {
        ResumeHeldPaint();
    }
}

void CDialog::DeliverKey(unsigned message, unsigned vk) {
    MSG msg;
    msg.message = message;
    msg.wParam = vk;
    if (InHeldSleep()) {
        if (!OnHeldKey(msg)) {
            m_arrHeld.push_back(msg);
        }
        return;
    }
    DeliverHeld();
    Dispatch(msg);
    DeliverHeld();
}

void CDialog::DeliverActivate(bool bActive) {
    MSG msg;
    msg.message = WM_ACTIVATE;
    msg.wParam = bActive ? 1 : 0;
    if (InHeldSleep()) {
        m_arrHeld.push_back(msg);
        return;
    }
    DeliverHeld();
    Dispatch(msg);
    DeliverHeld();
}

void CDialog::DeliverTimer(unsigned id) {
    if (InHeldSleep()) {
        return;  // as the system's timer messages, a missed tick is not made up
    }
    DeliverHeld();
    if (!m_bEnded) {
        OnTimer(id);
    }
    DeliverHeld();
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
