// Painting with GDI into DIB sections; pictures decoded and PNG files written
// by the Windows Imaging Component.
#include "platform/win32/gfx_internal.h"

#include <wincodec.h>

#include <cstring>
#include <vector>

#include "platform/win32/com.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

// Larger than any picture or window of the game, small enough that the
// byte count never overflows.
constexpr int kMaxSide = 16384;

CComPtr<IWICImagingFactory> ImagingFactory() {
    CComPtr<IWICImagingFactory> factory;
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     factory.OutVoid());
    return factory;
}

// A GDI object selected into a context for the life of the object.
class CSelected {
public:
    CSelected(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_hOld(::SelectObject(hdc, obj)) {}
    ~CSelected() { ::SelectObject(m_hdc, m_hOld); }
    CSelected(const CSelected&) = delete;
    CSelected& operator=(const CSelected&) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};

class CSolidBrush {
public:
    explicit CSolidBrush(COLORREF color) : m_h(CreateSolidBrush(color)) {}
    ~CSolidBrush() { DeleteObject(m_h); }
    CSolidBrush(const CSolidBrush&) = delete;
    CSolidBrush& operator=(const CSolidBrush&) = delete;
    HBRUSH Get() const { return m_h; }

private:
    HBRUSH m_h;
};

// A context on a picture's bitmap, as the source of a copy.
class CSourceDC {
public:
    CSourceDC(HDC like, HBITMAP bitmap)
        : m_hdc(CreateCompatibleDC(like)), m_hOld(::SelectObject(m_hdc, bitmap)) {}
    ~CSourceDC() {
        ::SelectObject(m_hdc, m_hOld);
        DeleteDC(m_hdc);
    }
    CSourceDC(const CSourceDC&) = delete;
    CSourceDC& operator=(const CSourceDC&) = delete;
    HDC Get() const { return m_hdc; }

private:
    HDC m_hdc;
    HGDIOBJ m_hOld;
};

}  // namespace

// ---- pixels ----

CDib::~CDib() {
    if (m_hBitmap) {
        DeleteObject(m_hBitmap);
    }
}

bool CDib::Create(int cx, int cy) {
    if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hBitmap) {
        return false;
    }
    m_pBits = static_cast<uint32_t*>(bits);
    m_nWidth = cx;
    m_nHeight = cy;
    std::memset(m_pBits, 0, static_cast<size_t>(cx) * cy * 4);
    return true;
}

// ---- pictures ----

struct CImage::Impl {
    CDib dib;
};

CImage::CImage() = default;
CImage::~CImage() = default;

int CImage::Load(const std::string& path) {
    Destroy();
    const CComScope com;
    const CComPtr<IWICImagingFactory> factory = ImagingFactory();
    CComPtr<IWICBitmapDecoder> decoder;
    CComPtr<IWICBitmapFrameDecode> frame;
    CComPtr<IWICBitmapSource> converted;
    UINT cx = 0, cy = 0;
    if (!factory ||
        FAILED(factory->CreateDecoderFromFilename(WidePath(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
        FAILED(decoder->GetFrame(0, frame.Out())) ||
        // Premultiplied: see-through parts come out black, as over a black ground.
        FAILED(
            WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.Get(), converted.Out())) ||
        FAILED(converted->GetSize(&cx, &cy))) {
        return -1;
    }
    auto impl = std::make_unique<Impl>();
    if (cx > static_cast<UINT>(kMaxSide) || cy > static_cast<UINT>(kMaxSide) ||
        !impl->dib.Create(static_cast<int>(cx), static_cast<int>(cy)) ||
        FAILED(converted->CopyPixels(nullptr, cx * 4, cx * cy * 4,
                                     reinterpret_cast<BYTE*>(impl->dib.Bits())))) {
        return -1;
    }
    for (size_t i = 0, n = static_cast<size_t>(cx) * cy; i < n; ++i) {
        impl->dib.Bits()[i] &= 0x00ffffffu;
    }
    m_p = std::move(impl);
    return 0;
}

int CImage::Create(int cx, int cy) {
    Destroy();
    auto impl = std::make_unique<Impl>();
    if (!impl->dib.Create(cx, cy)) {
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
    return m_p ? m_p->dib.Width() : 0;
}
int CImage::GetHeight() const {
    return m_p ? m_p->dib.Height() : 0;
}

// ---- fonts ----

struct CFont::Impl {
    HFONT hFont = nullptr;
    ~Impl() {
        if (hFont) {
            DeleteObject(hFont);
        }
    }
};

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreateFont(int nHeight, const std::string& face, bool bBold) {
    auto impl = std::make_unique<Impl>();
    impl->hFont = ::CreateFontW(nHeight, 0, 0, 0, bBold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(face).c_str());
    if (!impl->hFont) {
        return false;
    }
    m_p = std::move(impl);
    return true;
}

bool CFont::CreatePointFont(int nTenthsOfPoint, const std::string& face) {
    return CreateFont(-(kScreenDpi * nTenthsOfPoint / 720), face);
}

// ---- surfaces ----

CSurface::CSurface(int width, int height) : m_p(std::make_unique<Impl>()) {
    m_p->dib.Create(width, height);
}

CSurface::~CSurface() = default;

int CSurface::GetWidth() const {
    return m_p->dib.Width();
}
int CSurface::GetHeight() const {
    return m_p->dib.Height();
}

COLORREF CSurface::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) {
        return 0;
    }
    GdiFlush();
    const uint32_t px = m_p->dib.Bits()[static_cast<size_t>(y) * GetWidth() + x];
    return RGB((px >> 16) & 0xff, (px >> 8) & 0xff, px & 0xff);
}

bool CSurface::WritePng(const std::string& path) const {
    const int cx = GetWidth();
    const int cy = GetHeight();
    if (cx <= 0 || cy <= 0) {
        return false;
    }
    GdiFlush();
    const CComScope com;
    const CComPtr<IWICImagingFactory> factory = ImagingFactory();
    CComPtr<IWICStream> stream;
    CComPtr<IWICBitmapEncoder> encoder;
    CComPtr<IWICBitmapFrameEncode> frame;
    CComPtr<IPropertyBag2> props;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (!factory || FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromFilename(WidePath(path).c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.Out(), props.Out())) ||
        FAILED(frame->Initialize(props.Get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(cx), static_cast<UINT>(cy))) ||
        FAILED(frame->SetPixelFormat(&format))) {
        return false;
    }
    // The encoder may offer another layout than the one asked for.
    const bool alpha = !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR);
    if (alpha && !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) &&
        !IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) {
        return false;
    }
    const UINT bpp = alpha ? 4 : 3;
    const UINT stride = (static_cast<UINT>(cx) * bpp + 3) & ~3u;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * cy);
    for (int y = 0; y < cy; ++y) {
        const uint32_t* src = m_p->dib.Bits() + static_cast<size_t>(y) * cx;
        BYTE* dst = rows.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < cx; ++x, dst += bpp) {
            dst[0] = static_cast<BYTE>(src[x]);
            dst[1] = static_cast<BYTE>(src[x] >> 8);
            dst[2] = static_cast<BYTE>(src[x] >> 16);
            if (alpha) {
                dst[3] = 0xff;
            }
        }
    }
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(cy), stride,
                                        static_cast<UINT>(rows.size()), rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

// ---- device context ----

struct CDC::Impl {
    HDC hdc = nullptr;
    HGDIOBJ hOldBitmap = nullptr;
    std::function<void()> onRelease;
};

CDC::CDC(CSurface& surface, std::function<void()> onRelease) : m_p(std::make_unique<Impl>()) {
    m_p->hdc = CreateCompatibleDC(nullptr);
    if (m_p->hdc && surface.GetImpl()->dib.Bitmap()) {
        m_p->hOldBitmap = ::SelectObject(m_p->hdc, surface.GetImpl()->dib.Bitmap());
    }
    m_p->onRelease = std::move(onRelease);
}

CDC::~CDC() {
    GdiFlush();
    if (m_p->hdc) {
        if (m_p->hOldBitmap) {
            ::SelectObject(m_p->hdc, m_p->hOldBitmap);
        }
        DeleteDC(m_p->hdc);
    }
    if (m_p->onRelease) {
        m_p->onRelease();
    }
}

void CDC::Rectangle(int left, int top, int right, int bottom) {
    if (!m_p->hOldBitmap || right <= left || bottom <= top) {
        return;
    }
    const CSolidBrush brush(m_state.pBrush->GetColor());
    const CSelected pen(m_p->hdc, GetStockObject(BLACK_PEN));
    const CSelected fill(m_p->hdc, brush.Get());
    ::Rectangle(m_p->hdc, left, top, right, bottom);
}

void CDC::FillRect(const RECT& rect, const CBrush* brush) {
    if (!m_p->hOldBitmap || !brush || rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    const CSolidBrush fill(brush->GetColor());
    const ::RECT rc = {rect.left, rect.top, rect.right, rect.bottom};
    ::FillRect(m_p->hdc, &rc, fill.Get());
}

void CDC::TextOut(int x, int y, const std::string& text) {
    if (!m_p->hOldBitmap || text.empty()) {
        return;
    }
    const HGDIOBJ font = m_state.pFont && m_state.pFont->GetImpl()
                             ? m_state.pFont->GetImpl()->hFont
                             : GetStockObject(DEFAULT_GUI_FONT);
    const CSelected selected(m_p->hdc, font);
    // The modes share their values with the system's.
    ::SetBkMode(m_p->hdc, m_state.nBkMode);
    ::SetBkColor(m_p->hdc, m_state.bkColor);
    ::SetTextColor(m_p->hdc, m_state.textColor);
    const std::wstring wide = Wide(text);
    ::TextOutW(m_p->hdc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

void CDC::BitBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc) {
    const CImage::Impl* img = image.GetImpl();
    if (!m_p->hOldBitmap || !img || cx <= 0 || cy <= 0) {
        return;
    }
    const CSourceDC src(m_p->hdc, img->dib.Bitmap());
    ::BitBlt(m_p->hdc, x, y, cx, cy, src.Get(), xSrc, ySrc, SRCCOPY);
}

void CDC::TransparentBlt(int x, int y, int cx, int cy, const CImage& image, int xSrc, int ySrc,
                         int cxSrc, int cySrc, COLORREF key) {
    const CImage::Impl* img = image.GetImpl();
    if (!m_p->hOldBitmap || !img || cx <= 0 || cy <= 0 || cxSrc <= 0 || cySrc <= 0) {
        return;
    }
    const CSourceDC src(m_p->hdc, img->dib.Bitmap());
    SetStretchBltMode(m_p->hdc, COLORONCOLOR);  // nearest pixel, no blending with the key
    ::TransparentBlt(m_p->hdc, x, y, cx, cy, src.Get(), xSrc, ySrc, cxSrc, cySrc, key);
}

}  // namespace plat
