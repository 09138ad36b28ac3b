#include "platform/typeahead.h"

namespace plat {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWith(const std::string& item, const std::string& prefix) {
    if (item.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(item[i]) != prefix[i])
            return false;
    }
    return true;
}

void AppendUtf8(std::string& out, uint32_t ch) {
    if (ch < 0x80) {
        out += Lower(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((ch >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

// The prefix is one character typed once or more: that character alone.
std::string Repeated(const std::string& prefix) {
    size_t len = 1;
    while (len < prefix.size() && (static_cast<unsigned char>(prefix[len]) & 0xC0) == 0x80)
        ++len;
    const std::string first = prefix.substr(0, len);
    for (size_t i = len; i < prefix.size(); i += len) {
        if (prefix.compare(i, len, first) != 0)
            return std::string();
    }
    return prefix.size() % len == 0 ? first : std::string();
}

}  // namespace

bool CTypeAhead::Typing(uint32_t dwTime) const {
    return !m_strPrefix.empty() && dwTime - m_dwLast <= kResetMs;
}

int CTypeAhead::Type(uint32_t ch, uint32_t dwTime, const std::vector<std::string>& items,
                     int nCurrent) {
    if (!Typing(dwTime))
        m_strPrefix.clear();
    m_dwLast = dwTime;
    AppendUtf8(m_strPrefix, ch);
    const int n = static_cast<int>(items.size());
    const std::string one = Repeated(m_strPrefix);
    if (!one.empty()) {
        const bool bOnIt = nCurrent >= 0 && nCurrent < n && StartsWith(items[nCurrent], one);
        const int from = bOnIt ? nCurrent + 1 : 0;
        for (int k = 0; k < n; ++k) {
            const int i = (from + k) % n;
            if (StartsWith(items[i], one))
                return i;
        }
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        if (StartsWith(items[i], m_strPrefix))
            return i;
    }
    return -1;
}

}  // namespace plat
