// Text handed to the toolkit must be UTF-8; invalid bytes become U+FFFD.
// Platform code only.
#pragma once
#include <glib.h>

#include <string>

namespace plat {

inline std::string ValidUtf8(const std::string& s) {
    gchar* valid = g_utf8_make_valid(s.data(), static_cast<gssize>(s.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

}  // namespace plat
