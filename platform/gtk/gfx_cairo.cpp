#include "platform/gfx.h"
#include "platform/utf8.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <pango/pangocairo.h>

#include "platform/gtk/gfx_internal.h"
#include "platform/paths.h"

namespace plat {

// ---- pictures ----

struct CImage::Impl {
    cairo_surface_t* pOpaque = nullptr;         // RGB24
    mutable cairo_surface_t* pKeyed = nullptr;  // ARGB32, key colour cleared
    mutable COLORREF keyColor = 0;
    int nWidth = 0;
    int nHeight = 0;

    ~Impl() {
        if (pKeyed) {
            cairo_surface_destroy(pKeyed);
        }
        if (pOpaque) {
            cairo_surface_destroy(pOpaque);
        }
    }

    // Builds (once per key) a copy with the key colour's pixels cleared.
    cairo_surface_t* Keyed(COLORREF key) const {
        if (pKeyed && keyColor == key) {
            return pKeyed;
        }
        if (pKeyed) {
            cairo_surface_destroy(pKeyed);
        }
        keyColor = key;
        pKeyed = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, nWidth, nHeight);
        cairo_surface_flush(pOpaque);
        const unsigned char* src = cairo_image_surface_get_data(pOpaque);
        unsigned char* dst = cairo_image_surface_get_data(pKeyed);
        const int srcStride = cairo_image_surface_get_stride(pOpaque);
        const int dstStride = cairo_image_surface_get_stride(pKeyed);
        const uint32_t keyRgb =
            (static_cast<uint32_t>(GetRValue(key)) << 16) | (GetGValue(key) << 8) | GetBValue(key);
        for (int y = 0; y < nHeight; ++y) {
            const auto* s = reinterpret_cast<const uint32_t*>(src + y * srcStride);
            auto* d = reinterpret_cast<uint32_t*>(dst + y * dstStride);
            for (int x = 0; x < nWidth; ++x) {
                const uint32_t rgb = s[x] & 0xffffff;
                d[x] = rgb == keyRgb ? 0 : (0xff000000u | rgb);
            }
        }
        cairo_surface_mark_dirty(pKeyed);
        return pKeyed;
    }
};

CImage::CImage() = default;
CImage::~CImage() = default;

int CImage::Load(const std::string& path) {
    Destroy();
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(ToFsPath(path).c_str(), nullptr);
    if (!pixbuf) {
        return -1;
    }
    auto impl = std::make_unique<Impl>();
    impl->nWidth = gdk_pixbuf_get_width(pixbuf);
    impl->nHeight = gdk_pixbuf_get_height(pixbuf);
    impl->pOpaque = cairo_image_surface_create(CAIRO_FORMAT_RGB24, impl->nWidth, impl->nHeight);
    cairo_t* cr = cairo_create(impl->pOpaque);
    cairo_set_source_rgb(cr, 0, 0, 0);  // see-through parts become black
    cairo_paint(cr);
    gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    g_object_unref(pixbuf);
    if (cairo_surface_status(impl->pOpaque) != CAIRO_STATUS_SUCCESS) {
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
    auto impl = std::make_unique<Impl>();
    impl->nWidth = cx;
    impl->nHeight = cy;
    // A new image surface is cleared to zero: black, which is see-through.
    impl->pOpaque = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cx, cy);
    if (cairo_surface_status(impl->pOpaque) != CAIRO_STATUS_SUCCESS) {
        return -1;
    }
    m_p = std::move(impl);
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

struct CFont::Impl {
    PangoFontDescription* pDesc = nullptr;
    ~Impl() {
        if (pDesc) {
            pango_font_description_free(pDesc);
        }
    }
};

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreateFont(int nHeight, const std::string& face, bool bBold) {
    auto impl = std::make_unique<Impl>();
    impl->pDesc = pango_font_description_new();
    pango_font_description_set_family(impl->pDesc, face.c_str());
    pango_font_description_set_weight(impl->pDesc, bBold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    // A negative height is the em height; a positive one includes the
    // internal leading, which for these faces is about a seventh more.
    const int px = nHeight < 0 ? -nHeight : (nHeight == 0 ? 16 : nHeight * 7 / 8);
    pango_font_description_set_absolute_size(impl->pDesc, static_cast<double>(px) * PANGO_SCALE);
    m_p = std::move(impl);
    return true;
}

bool CFont::CreatePointFont(int nTenthsOfPoint, const std::string& face) {
    return CreateFont(-(kScreenDpi * nTenthsOfPoint / 720), face);
}

// ---- surfaces ----

CSurface::CSurface(int width, int height) : m_p(std::make_unique<Impl>()) {
    m_p->pSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(m_p->pSurface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
}

CSurface::~CSurface() = default;

int CSurface::GetWidth() const {
    return cairo_image_surface_get_width(m_p->pSurface);
}
int CSurface::GetHeight() const {
    return cairo_image_surface_get_height(m_p->pSurface);
}

COLORREF CSurface::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) {
        return 0;
    }
    cairo_surface_flush(m_p->pSurface);
    const unsigned char* data = cairo_image_surface_get_data(m_p->pSurface);
    const int stride = cairo_image_surface_get_stride(m_p->pSurface);
    const uint32_t px = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
    return RGB((px >> 16) & 0xff, (px >> 8) & 0xff, px & 0xff);
}

bool CSurface::WritePng(const std::string& path) const {
    return cairo_surface_write_to_png(m_p->pSurface, ToFsPath(path).c_str()) ==
           CAIRO_STATUS_SUCCESS;
}

// ---- device context ----

struct CDC::Impl {
    cairo_t* cr = nullptr;
    std::function<void()> onRelease;
    PangoLayout* pLayout = nullptr;
};

namespace {

void SetColor(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

}  // namespace

CDC::CDC(CSurface& surface, std::function<void()> onRelease) : m_p(std::make_unique<Impl>()) {
    m_p->cr = cairo_create(surface.GetImpl()->pSurface);
    cairo_set_antialias(m_p->cr, CAIRO_ANTIALIAS_NONE);
    m_p->onRelease = std::move(onRelease);
    m_p->pLayout = pango_cairo_create_layout(m_p->cr);
}

CDC::~CDC() {
    g_object_unref(m_p->pLayout);
    cairo_destroy(m_p->cr);
    if (m_p->onRelease) {
        m_p->onRelease();
    }
}

void CDC::Rectangle(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) {
        return;
    }
    cairo_t* cr = m_p->cr;
    SetColor(cr, RGB(0, 0, 0));
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_fill(cr);
    if (right - left > 2 && bottom - top > 2) {
        SetColor(cr, m_state.pBrush->GetColor());
        cairo_rectangle(cr, left + 1, top + 1, right - left - 2, bottom - top - 2);
        cairo_fill(cr);
    }
}

void CDC::FillRect(const RECT& rect, const CBrush* brush) {
    if (!brush || rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    SetColor(m_p->cr, brush->GetColor());
    cairo_rectangle(m_p->cr, rect.left, rect.top, rect.Width(), rect.Height());
    cairo_fill(m_p->cr);
}

void CDC::TextOut(int x, int y, const std::string& text) {
    if (text.empty()) {
        return;
    }
    PangoLayout* layout = m_p->pLayout;
    if (m_state.pFont && m_state.pFont->GetImpl()) {
        pango_layout_set_font_description(layout, m_state.pFont->GetImpl()->pDesc);
    } else {
        pango_layout_set_font_description(layout, nullptr);
    }
    const std::string valid = ValidUtf8(text);
    pango_layout_set_text(layout, valid.c_str(), static_cast<int>(valid.size()));
    cairo_t* cr = m_p->cr;
    if (m_state.nBkMode == OPAQUE) {
        int w = 0;
        int h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        SetColor(cr, m_state.bkColor);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    }
    SetColor(cr, m_state.textColor);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
}

void CDC::BitBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc) {
    const CImage::Impl* img = image.GetImpl();
    if (!img || cx <= 0 || cy <= 0) {
        return;
    }
    cairo_t* cr = m_p->cr;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, cx, cy);
    cairo_clip(cr);
    cairo_set_source_surface(cr, img->pOpaque, x - xSrc, y - ySrc);
    cairo_paint(cr);
    cairo_restore(cr);
}

void CDC::TransparentBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc,
                         int cxSrc, int cySrc, COLORREF key) {
    const CImage::Impl* img = image.GetImpl();
    if (!img || cx <= 0 || cy <= 0 || cxSrc <= 0 || cySrc <= 0) {
        return;
    }
    cairo_t* cr = m_p->cr;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, cx, cy);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, static_cast<double>(cx) / cxSrc, static_cast<double>(cy) / cySrc);
    cairo_set_source_surface(cr, img->Keyed(key), -xSrc, -ySrc);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace plat
