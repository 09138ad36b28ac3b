// Pictures with their sizes and no pixels, and drawing that draws nothing:
// a headless program re-runs games, it never shows them.
#include <memory>

#include "platform/gfx.h"
#include "platform/headless/png_size.h"
#include "platform/paths.h"

namespace plat {

// ---- pictures ----

struct CImage::Impl {
    int nWidth = 0;
    int nHeight = 0;
};

CImage::CImage() = default;
CImage::~CImage() = default;

int CImage::Load(const std::string& path) {
    Destroy();
    std::string bytes;
    auto impl = std::make_unique<Impl>();
    if (!ReadFile(path, bytes) || !PngSize(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           bytes.size(), impl->nWidth, impl->nHeight)) {
        return -1;
    }
    m_p = std::move(impl);
    return 0;
}

int CImage::Create(int cx, int cy) {
    Destroy();
    if (cx <= 0 || cy <= 0) {
        return -1;
    }
    m_p = std::make_unique<Impl>();
    m_p->nWidth = cx;
    m_p->nHeight = cy;
    return 0;
}

void CImage::Destroy() {
    m_p.reset();
}
bool CImage::IsNull() const {
    return !m_p;
}
int CImage::GetWidth() const {
    return m_p ? m_p->nWidth : 0;
}
int CImage::GetHeight() const {
    return m_p ? m_p->nHeight : 0;
}

// ---- fonts ----

struct CFont::Impl {};

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreateFont(int /*nHeight*/, const std::string& /*face*/, bool /*bBold*/) {
    m_p = std::make_unique<Impl>();
    return true;
}

bool CFont::CreatePointFont(int /*nTenthsOfPoint*/, const std::string& /*face*/) {
    m_p = std::make_unique<Impl>();
    return true;
}

// ---- surfaces and contexts ----

struct CSurface::Impl {
    int nWidth = 0;
    int nHeight = 0;
};

CSurface::CSurface(int width, int height) : m_p(std::make_unique<Impl>()) {
    m_p->nWidth = width > 0 ? width : 0;
    m_p->nHeight = height > 0 ? height : 0;
}
CSurface::~CSurface() = default;

int CSurface::GetWidth() const {
    return m_p->nWidth;
}
int CSurface::GetHeight() const {
    return m_p->nHeight;
}
COLORREF CSurface::GetPixel(int /*x*/, int /*y*/) const {
    return RGB(0, 0, 0);
}
bool CSurface::WritePng(const std::string& /*path*/) const {
    return false;
}

struct CDC::Impl {
    std::function<void()> onRelease;
};

CDC::CDC(CSurface& /*surface*/, std::function<void()> onRelease) : m_p(std::make_unique<Impl>()) {
    m_p->onRelease = std::move(onRelease);
}

CDC::~CDC() {
    if (m_p->onRelease) {
        m_p->onRelease();
    }
}

void CDC::Rectangle(int, int, int, int) {}
void CDC::FillRect(const RECT&, const CBrush*) {}
void CDC::TextOut(int, int, const std::string&) {}
void CDC::BitBlt(int, int, int, int, const CImage&, int, int) {}
void CDC::TransparentBlt(int, int, int, int, const CImage&, int, int, int, int, COLORREF) {}

}  // namespace plat
