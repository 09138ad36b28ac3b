#include "platform/digest.h"

#include <openssl/evp.h>

namespace plat {

// The processor's own SHA instructions where it has them: a server takes
// the digest of every replay it checks.
std::string Sha256Hex(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr))
        return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (unsigned int i = 0; i < n; ++i) {
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 0x0F];
    }
    return out;
}

}  // namespace plat
