#include "platform/compress.h"

#include <zlib.h>

#include <climits>

namespace plat {
namespace {

// zlib counts in unsigned int; feed and drain it in pieces of at most this.
constexpr size_t kStep = UINT_MAX / 2;

unsigned Piece(size_t n) {
    return static_cast<unsigned>(n < kStep ? n : kStep);
}

class CInflater {
public:
    CInflater() { m_bOk = inflateInit(&m_z) == Z_OK; }
    ~CInflater() {
        if (m_bOk)
            inflateEnd(&m_z);
    }
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    EInflate Run(const char* pData, size_t nSize, std::string& out);

private:
    z_stream m_z{};
    bool m_bOk = false;
};

EInflate CInflater::Run(const char* pData, size_t nSize, std::string& out) {
    if (!m_bOk)
        return EInflate::Damaged;
    size_t nIn = 0;
    size_t nOut = 0;
    for (;;) {
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pData + nIn));
        m_z.avail_in = Piece(nSize - nIn);
        // One spare byte beyond the expected size tells a longer stream apart.
        char spare = 0;
        const bool bSpare = nOut == out.size();
        m_z.next_out = reinterpret_cast<Bytef*>(bSpare ? &spare : &out[nOut]);
        m_z.avail_out = bSpare ? 1 : Piece(out.size() - nOut);
        const unsigned inBefore = m_z.avail_in;
        const unsigned outBefore = m_z.avail_out;
        const int rc = inflate(&m_z, Z_NO_FLUSH);
        nIn += inBefore - m_z.avail_in;
        const size_t produced = outBefore - m_z.avail_out;
        if (bSpare && produced > 0)
            return EInflate::TooLarge;
        nOut += produced;
        if (rc == Z_STREAM_END)
            return nIn == nSize && nOut == out.size() ? EInflate::Ok
                   : nIn != nSize                     ? EInflate::Damaged
                                                      : EInflate::Truncated;
        if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR)
            return EInflate::Damaged;
        if (rc == Z_BUF_ERROR && nIn == nSize)
            return EInflate::Truncated;  // no progress possible: the input ran out
    }
}

}  // namespace

bool Deflate(const std::string& in, std::string& out) {
    uLongf nBound = compressBound(static_cast<uLong>(in.size()));
    out.resize(nBound);
    const int rc = compress2(reinterpret_cast<Bytef*>(&out[0]), &nBound,
                             reinterpret_cast<const Bytef*>(in.data()),
                             static_cast<uLong>(in.size()), Z_BEST_COMPRESSION);
    if (rc != Z_OK) {
        out.clear();
        return false;
    }
    out.resize(nBound);
    return true;
}

EInflate InflateExact(const char* pData, size_t nSize, size_t nExpected, std::string& out) {
    out.assign(nExpected, '\0');
    CInflater inflater;
    const EInflate result = inflater.Run(pData, nSize, out);
    if (result != EInflate::Ok)
        out.clear();
    return result;
}

}  // namespace plat
