// The pixels behind surfaces and pictures: a 32-bit top-down DIB section, so
// GDI draws into it and the window can show it. Platform code only.
#pragma once
#include <windows.h>

#include <cstdint>

// gfx.h has its own colour helpers, modes and members under these names.
#undef CreateFont
#undef TextOut
#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue
#undef TRANSPARENT
#undef OPAQUE

#include "platform/gfx.h"

namespace plat {

class CDib {
public:
    CDib() = default;
    ~CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    bool Create(int cx, int cy);  // black; false for a size no DIB can hold
    HBITMAP Bitmap() const { return m_hBitmap; }
    uint32_t* Bits() const { return m_pBits; }  // 0x00RRGGBB, rows top-down
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    HBITMAP m_hBitmap = nullptr;
    uint32_t* m_pBits = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

struct CSurface::Impl {
    CDib dib;
};

}  // namespace plat
