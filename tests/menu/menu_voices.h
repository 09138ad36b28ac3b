// The menu's host window and its voices as the tests and the benchmark
// write them: one tone file per name under base/sound.
#pragma once
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/window.h"
#include "wave_builder.h"

namespace menutest {

class CHostWnd : public plat::CDialog {
public:
    CHostWnd() : plat::CDialog("DoruzorO", 488, 351) {}
};

inline const char* const kVoices[] = {"menu/Title",     "menu/tutorial",   "menu/game",
                                      "menu/NetRecord", "menu/Challenger", "menu/Country",
                                      "menu/update",    "menu/end",        "opning"};

inline void WriteVoices(const std::string& strBase) {
    std::filesystem::create_directories(strBase + "/sound/menu");
    for (const char* name : kVoices) {
        std::ofstream(strBase + "/sound/" + name + ".kwv", std::ios::binary)
            << wavetest::ToneFile(440, 22050, 22050);
    }
}

}  // namespace menutest
