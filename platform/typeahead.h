// Typing in a list, as list boxes do: letters typed less than a second
// apart make a prefix, and the first entry that starts with it (in any case)
// is chosen. One letter, or the same letter again and again, goes from the
// chosen entry on to the next that starts with it, round to the top.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

class CTypeAhead {
public:
    static constexpr uint32_t kResetMs = 1000;

    // ch typed at dwTime (milliseconds, any clock): the entry to choose, or
    // -1 when none starts with what was typed (the choice then stays).
    int Type(uint32_t ch, uint32_t dwTime, const std::vector<std::string>& items, int nCurrent);
    // True while a prefix is being typed: a blank then belongs to it.
    bool Typing(uint32_t dwTime) const;
    void Reset() { m_strPrefix.clear(); }

private:
    std::string m_strPrefix;  // lower case, UTF-8
    uint32_t m_dwLast = 0;
};

}  // namespace plat
