#include "platform/utf8.h"

namespace plat {
namespace {

bool InRange(unsigned char c, unsigned char lo, unsigned char hi) {
    return c >= lo && c <= hi;
}

// Reads one code point at text[i] and moves i past it. A malformed part is
// taken as far as it could still have been the start of a valid sequence
// and gives U+FFFD.
char32_t Next(const std::string& text, std::size_t& i, bool& bValid) {
    const unsigned char lead = static_cast<unsigned char>(text[i++]);
    bValid = true;
    if (lead < 0x80)
        return lead;
    int nMore = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (InRange(lead, 0xC2, 0xDF)) {
        nMore = 1;
        cp = lead & 0x1F;
    } else if (InRange(lead, 0xE0, 0xEF)) {
        nMore = 2;
        cp = lead & 0x0F;
        lo = lead == 0xE0 ? 0xA0 : 0x80;
        hi = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (InRange(lead, 0xF0, 0xF4)) {
        nMore = 3;
        cp = lead & 0x07;
        lo = lead == 0xF0 ? 0x90 : 0x80;
        hi = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        bValid = false;
        return kReplacementCharacter;
    }
    for (int k = 0; k < nMore; ++k) {
        if (i >= text.size() || !InRange(static_cast<unsigned char>(text[i]), lo, hi)) {
            bValid = false;
            return kReplacementCharacter;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return cp;
}

void Append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
    bool bValid = true;
    for (std::size_t i = 0; i < text.size() && bValid;)
        Next(text, i, bValid);
    return bValid;
}

std::string ValidUtf8(const std::string& text) {
    if (IsValidUtf8(text))
        return text;
    std::string out;
    out.reserve(text.size() + 8);
    bool bValid = true;
    for (std::size_t i = 0; i < text.size();)
        Append(out, Next(text, i, bValid));
    return out;
}

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    bool bValid = true;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = Next(text, i, bValid);
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            Append(out,
                   0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            Append(out, kReplacementCharacter);
        } else {
            Append(out, u);
        }
    }
    return out;
}

}  // namespace plat
