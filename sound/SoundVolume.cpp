#include "sound/SoundVolume.h"

#include <algorithm>

CSoundVolume g_soundVolume;

namespace {
std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}
}  // namespace

long CSoundVolume::LookupVolume(const std::string& name) const {
    const std::string key = Upper(name);
    const size_t n = std::min(m_arrName.size(), m_arrValue.size());
    for (size_t i = 0; i < n; ++i) {
        if (Upper(m_arrName[i]) == key) {
            const long v = m_arrValue[i];
            return v > 0 ? -v : v;
        }
    }
    return -1;
}
