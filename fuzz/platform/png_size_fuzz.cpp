// Any bytes as a picture: refused or sized, never read beyond their end.
#include <cstddef>
#include <cstdint>

#include "platform/headless/png_size.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int cx = 0, cy = 0;
    if (plat::PngSize(data, size, cx, cy) && (cx <= 0 || cy <= 0 || cx > 65535 || cy > 65535))
        __builtin_trap();
    return 0;
}
