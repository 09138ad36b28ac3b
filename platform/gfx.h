// Painting: a device context over a pixel surface, with exactly what the
// scenes draw with, plus pictures, fonts and brushes.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plat {

using COLORREF = uint32_t;  // 0x00BBGGRR
constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xff) | ((g & 0xff) << 8) | ((b & 0xff) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return c & 0xff;
}
constexpr int GetGValue(COLORREF c) {
    return (c >> 8) & 0xff;
}
constexpr int GetBValue(COLORREF c) {
    return (c >> 16) & 0xff;
}

struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

enum { TRANSPARENT = 1, OPAQUE = 2 };

// Pixels per inch the fonts are measured at.
constexpr int kScreenDpi = 96;

// A decoded picture. Load decides the format by the file's content.
class CImage {
public:
    CImage();
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    int Load(const std::string& path);  // 0 on success, negative on failure
    // A black picture of this size (negative when the size is not positive).
    int Create(int cx, int cy);
    void Destroy();
    bool IsNull() const;
    int GetWidth() const;
    int GetHeight() const;

    struct Impl;
    const Impl* GetImpl() const { return m_p.get(); }

private:
    std::unique_ptr<Impl> m_p;
};

class CFont {
public:
    CFont();
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // nHeight as the system's fonts take it: negative is the character
    // height in pixels. A face missing here falls back to a look-alike.
    bool CreateFont(int nHeight, const std::string& face, bool bBold = false);
    // Height in tenths of a point at kScreenDpi.
    bool CreatePointFont(int nTenthsOfPoint, const std::string& face);

    struct Impl;
    const Impl* GetImpl() const { return m_p.get(); }

private:
    std::unique_ptr<Impl> m_p;
};

class CBrush {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) : m_color(color), m_bValid(true) {}
    void CreateSolidBrush(COLORREF color) {
        m_color = color;
        m_bValid = true;
    }
    COLORREF GetColor() const { return m_color; }
    bool IsValid() const { return m_bValid; }

private:
    COLORREF m_color = RGB(255, 255, 255);
    bool m_bValid = false;
};

// Pixels that a device context draws into: the window's picture, or an
// offscreen one in tests.
class CSurface {
public:
    CSurface(int width, int height);
    ~CSurface();
    CSurface(const CSurface&) = delete;
    CSurface& operator=(const CSurface&) = delete;

    int GetWidth() const;
    int GetHeight() const;
    COLORREF GetPixel(int x, int y) const;  // black outside the surface
    bool WritePng(const std::string& path) const;

    struct Impl;
    Impl* GetImpl() const { return m_p.get(); }

private:
    std::unique_ptr<Impl> m_p;
};

class CDC {
public:
    // onRelease runs when the context is released (the window then shows
    // what was drawn).
    explicit CDC(CSurface& surface, std::function<void()> onRelease = {});
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    const CBrush* SelectObject(const CBrush* brush);  // returns the one before
    const CFont* SelectObject(const CFont* font);
    COLORREF SetBkColor(COLORREF color);
    COLORREF SetTextColor(COLORREF color);
    int SetBkMode(int mode);

    // Filled with the selected brush, outlined with the 1-pixel black pen.
    void Rectangle(int left, int top, int right, int bottom);
    void FillRect(const RECT& rect, const CBrush* brush);
    void TextOut(int x, int y, const std::string& text);
    // Opaque copy of part of a picture.
    void BitBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc);
    // Stretched copy in which pixels of the key colour are left out.
    void TransparentBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc,
                        int cxSrc, int cySrc, COLORREF key);

private:
    // What is selected: the same on every implementation (platform/gfx.cpp).
    struct SState {
        SState();
        const CBrush* pBrush;  // the stock white brush until one is selected
        const CFont* pFont = nullptr;
        COLORREF bkColor = RGB(255, 255, 255);
        COLORREF textColor = RGB(0, 0, 0);
        int nBkMode = OPAQUE;
    };
    SState m_state;
    struct Impl;
    std::unique_ptr<Impl> m_p;
};

}  // namespace plat
