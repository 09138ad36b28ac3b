#include "platform/digest.h"

#include <glib.h>

namespace plat {

std::string Sha256Hex(const std::string& bytes) {
    gchar* hex = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string out = hex ? hex : "";
    g_free(hex);
    return out;
}

}  // namespace plat
