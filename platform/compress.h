// zlib streams for files that strangers may send us: the size of what comes
// out is fixed before anything is inflated.
#pragma once
#include <cstddef>
#include <string>

namespace plat {

// The bytes as one zlib stream at the best ratio; false only without memory.
bool Deflate(const std::string& in, std::string& out);

enum class EInflate {
    Ok,
    Damaged,    // not a zlib stream, a bad check value, or bytes after its end
    TooLarge,   // it would give more than the expected size
    Truncated,  // the stream stops before its end
};

// Inflates one zlib stream that must give exactly nExpected bytes. Never
// allocates more than nExpected: a stream that would give more is refused.
EInflate InflateExact(const char* pData, size_t nSize, size_t nExpected, std::string& out);

}  // namespace plat
