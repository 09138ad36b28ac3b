#include <gio/gio.h>

#include "platform/native.h"

namespace plat {
namespace native {

bool OpenUri(const std::string& uri) {
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
    g_clear_error(&error);
    return ok != FALSE;
}

bool SpawnProgram(const std::string& program, const std::vector<std::string>& args) {
    std::vector<gchar*> argv;
    argv.push_back(const_cast<gchar*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<gchar*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    GError* error = nullptr;
    const gboolean ok = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr,
                                      nullptr, nullptr, &error);
    g_clear_error(&error);
    return ok != FALSE;
}

}  // namespace native
}  // namespace plat
