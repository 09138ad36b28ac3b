// Feeds the input to the page parser as a sequence of lines, the way pages
// arrive, then finishes the page and checks the results stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/KoruHttpConnect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CKoruHttpConnect c;
    c.m_strFinalUrl = "http://host/dir/page.html";
    c.m_strRequestUrl = "http://host/dir/page.html#top";
    c.ParsePageLine("", 1, 0);
    const std::string all(reinterpret_cast<const char*>(data), size);
    size_t p = 0;
    while (p < all.size()) {
        size_t q = all.find('\n', p);
        q = q == std::string::npos ? all.size() : q + 1;
        c.ParsePageLine(all.substr(p, q - p) + "\r\n", 0, 0);
        p = q;
    }
    c.ParsePageLine("", 0, 1);
    c.DecodeEntities(all);
    if (static_cast<size_t>(c.m_nLinkCount) != c.m_arrLinks.size())
        std::abort();
    if (static_cast<size_t>(c.m_nFormCount) != c.m_arrForms.size())
        std::abort();
    if (c.m_arrFrameSrc.size() != c.m_arrFrameName.size())
        std::abort();
    return 0;
}
