#include "server/RecordRules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ranking/AreaList.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& in, size_t begin, size_t end, std::string& out) {
    out.clear();
    for (size_t i = begin; i < end; ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= end)
            return false;
        const int a = HexValue(in[i + 1]), b = HexValue(in[i + 2]);
        if (a < 0 || b < 0)
            return false;
        out += static_cast<char>(a * 16 + b);
        i += 2;
    }
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool DecodeUtf8(const std::string& s, std::vector<uint32_t>& out) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int n;
        uint32_t cp, min;
        if (c < 0x80) {
            n = 0, cp = c, min = 0;
        } else if ((c >> 5) == 6) {
            n = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c >> 4) == 14) {
            n = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c >> 3) == 30) {
            n = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(n) >= s.size())
            return false;
        for (int k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((t >> 6) != 2)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += static_cast<size_t>(n) + 1;
    }
    return true;
}

bool IsControl(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Characters that change how the text around them is shown, or show nothing.
bool IsFormatting(uint32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029 || cp == 0xFEFF ||
           (cp >= 0xFFF9 && cp <= 0xFFFB);
}

bool IsNonCharacter(uint32_t cp) {
    return (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

// Spaces, and the characters that draw nothing at all.
bool IsBlank(uint32_t cp) {
    return cp == 0x20 || cp == 0xA0 || cp == 0x1680 || cp == 0x180E ||
           (cp >= 0x2000 && cp <= 0x200D) || cp == 0x202F || cp == 0x205F || cp == 0x2060 ||
           cp == 0x3000 || cp == 0x3164 || cp == 0xFFA0 || cp == 0x115F || cp == 0x1160;
}

}  // namespace

EQuery ParseQuery(const std::string& strRaw, std::map<std::string, std::string>& out) {
    out.clear();
    size_t start = 0;
    while (start < strRaw.size()) {
        size_t end = strRaw.find('&', start);
        if (end == std::string::npos)
            end = strRaw.size();
        if (end > start) {
            if (out.size() >= kMaxQueryKeys)
                return EQuery::TooManyKeys;
            const size_t eq = std::min(strRaw.find('=', start), end);
            std::string key, value;
            if (!Decode(strRaw, start, eq, key) ||
                !Decode(strRaw, std::min(eq + 1, end), end, value))
                return EQuery::BadEscape;
            if (!out.emplace(std::move(key), std::move(value)).second)
                return EQuery::RepeatedKey;
        }
        start = end + 1;
    }
    return EQuery::Ok;
}

std::string NameProblem(const std::string& strName) {
    std::vector<uint32_t> cps;
    if (strName.empty() || strName.size() > kMaxNameBytes)
        return "The name must be 1 to 64 bytes of text.";
    if (!DecodeUtf8(strName, cps))
        return "The name is not valid UTF-8 text.";
    if (std::any_of(cps.begin(), cps.end(), IsControl))
        return "The name holds a control character.";
    if (std::any_of(cps.begin(), cps.end(), IsFormatting))
        return "The name holds an invisible or direction-changing character.";
    if (std::any_of(cps.begin(), cps.end(), IsNonCharacter))
        return "The name holds a character that is not text.";
    if (std::all_of(cps.begin(), cps.end(), IsBlank))
        return "The name is only blanks.";
    return "";
}

std::string LimitKey(const std::string& strAddress) {
    in6_addr a{};
    if (strAddress.find(':') == std::string::npos ||
        inet_pton(AF_INET6, strAddress.c_str(), &a) != 1)
        return strAddress;
    char text[INET6_ADDRSTRLEN] = {};
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(kMapped, kMapped + 12, a.s6_addr))
        return inet_ntop(AF_INET, a.s6_addr + 12, text, sizeof text) ? text : strAddress;
    std::fill(a.s6_addr + 8, a.s6_addr + 16, uint8_t{0});
    return inet_ntop(AF_INET6, &a, text, sizeof text) ? std::string(text) + "/64" : strAddress;
}

bool ValidateRecord(const QueryLookup& query, SRecord& rec, std::string& strWhy) {
    std::string mode, level, score;
    if (!query("aria", rec.strAria) || !query("name", rec.strName) || !query("mode", mode) ||
        !query("level", level) || !query("score", score)) {
        strWhy = "The record is incomplete.";
        return false;
    }
    strWhy = NameProblem(rec.strName);
    if (!strWhy.empty()) {
        return false;
    } else if (!KnownArea(rec.strAria)) {
        strWhy = "The area is not one of the list.";
    } else if (mode != "0" || !ParseInt(level, 0, 1, rec.nLevel)) {
        strWhy = "The game mode is not known.";
    } else if (!ParseInt(score, 0, kMaxScore, rec.nScore)) {
        strWhy = "The score is not possible.";
    } else {
        return true;
    }
    return false;
}
