// UTF-8 is the text of the whole program; these helpers mend what comes from
// outside and convert at the edges of systems that speak UTF-16.
#pragma once
#include <cstddef>
#include <string>

namespace plat {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsValidUtf8(const std::string& text);

// The text with each ill-formed part (a stray or cut sequence, an overlong
// form, a surrogate, a code point past U+10FFFF) replaced by U+FFFD, one for
// each maximal ill-formed part, as the Unicode standard recommends.
std::string ValidUtf8(const std::string& text);

// Ill-formed parts become U+FFFD here too, and unpaired surrogates in the
// other direction.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const char16_t* text, std::size_t length);
inline std::string Utf16ToUtf8(const std::u16string& text) {
    return Utf16ToUtf8(text.data(), text.size());
}

}  // namespace plat
