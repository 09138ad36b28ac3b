// The device context's selections, kept alike by every implementation.
#include "platform/gfx.h"

namespace plat {
namespace {

const CBrush& StockWhiteBrush() {
    static const CBrush brush(RGB(255, 255, 255));
    return brush;
}

}  // namespace

CDC::SState::SState() : pBrush(&StockWhiteBrush()) {}

const CBrush* CDC::SelectObject(const CBrush* brush) {
    const CBrush* old = m_state.pBrush;
    m_state.pBrush = brush ? brush : &StockWhiteBrush();
    return old;
}

const CFont* CDC::SelectObject(const CFont* font) {
    const CFont* old = m_state.pFont;
    m_state.pFont = font;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF color) {
    const COLORREF old = m_state.bkColor;
    m_state.bkColor = color;
    return old;
}

COLORREF CDC::SetTextColor(COLORREF color) {
    const COLORREF old = m_state.textColor;
    m_state.textColor = color;
    return old;
}

int CDC::SetBkMode(int mode) {
    const int old = m_state.nBkMode;
    m_state.nBkMode = mode;
    return old;
}

}  // namespace plat
