// Writes the picture reader's seed corpus into the folder given as argument.
#include <fstream>
#include <string>

#include "png_builder.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string dir = argv[1];
    std::ofstream(dir + "/small.png", std::ios::binary) << pngtest::Png(3, 2);
    std::ofstream(dir + "/ufo.png", std::ios::binary) << pngtest::Png(40, 20);
    return 0;
}
