// The volume memory shared by every sound player.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CSoundVolume {
public:
    virtual ~CSoundVolume() = default;
    // Attenuation for a file name (no folders), made non-positive; -1 if unknown.
    long LookupVolume(const std::string& name) const;

    std::vector<std::string> m_arrName;
    std::vector<int32_t> m_arrValue;
    long m_nCurrent[101] = {};  // last volume set per id, whichever player set it
};

extern CSoundVolume g_soundVolume;
