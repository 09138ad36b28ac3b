// Any bytes as a base and a reference (split at the first newline): the URL
// code never reads out of bounds, and what it accepts is fit to send.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/url.h"

namespace {

void CheckParsed(const std::string& url) {
    plat::CUrlParts parts;
    if (!plat::ParseUrl(url, parts))
        return;
    if (parts.strServer.empty() || parts.nPort == 0 || parts.strObject.empty() ||
        parts.strObject[0] != '/')
        __builtin_trap();
    for (const char c : parts.strObject) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            __builtin_trap();  // a request line must never be split or bent
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t lf = text.find('\n');
    const std::string base = text.substr(0, lf);
    const std::string rel = lf == std::string::npos ? std::string() : text.substr(lf + 1);
    std::string out;
    if (!plat::CombineUrl(base, rel, out) && out != base)
        __builtin_trap();
    CheckParsed(base);
    CheckParsed(out);
    return 0;
}
