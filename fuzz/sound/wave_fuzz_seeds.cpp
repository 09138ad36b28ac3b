// Writes the sound reader's seed corpus into the folder given as argument.
#include <fstream>
#include <string>

#include "wave_builder.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    int n = 0;
    for (const std::string& f : wavetest::SeedFiles()) {
        std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(n++) + ".kwv",
                      std::ios::binary)
            << f;
    }
    return 0;
}
