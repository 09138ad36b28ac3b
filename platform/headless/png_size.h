// The size of a PNG picture, read from its chunks without decoding pixels:
// enough for a re-run of a game, which needs the pictures' sizes and never
// draws. Platform code only.
#pragma once
#include <cstddef>

namespace plat {

// True for a whole PNG stream (signature, IHDR first, every chunk's CRC
// right, IDAT, IEND last) of 1..65535 pixels each way; the size goes to
// cx and cy. Anything else is refused.
bool PngSize(const unsigned char* pData, size_t nSize, int& cx, int& cy);

}  // namespace plat
