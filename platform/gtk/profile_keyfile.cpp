#include "platform/profile.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <memory>

#include "platform/utf8.h"

namespace plat {
namespace {

std::string g_strCompany = "koruhaus";
std::string g_strApp = "doruzoro";

// A key file can't hold the registry's empty section name.
std::string GroupName(const std::string& section) {
    return section.empty() ? std::string("Settings") : section;
}

struct KeyFileDeleter {
    void operator()(GKeyFile* kf) const { g_key_file_free(kf); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

KeyFilePtr LoadKeyFile() {
    KeyFilePtr kf(g_key_file_new());
    if (!g_key_file_load_from_file(kf.get(), ProfilePath().c_str(), G_KEY_FILE_KEEP_COMMENTS,
                                   nullptr)) {
        return nullptr;
    }
    return kf;
}

}  // namespace

void SetRegistryKey(const std::string& company) {
    g_strCompany = company;
}
void SetAppName(const std::string& app) {
    g_strApp = app;
}

std::string ProfilePath() {
    return std::string(g_get_user_config_dir()) + "/" + g_strCompany + "/" + g_strApp + ".ini";
}

std::string UserDataPath() {
    return std::string(g_get_user_data_dir()) + "/" + g_strCompany + "/" + g_strApp;
}

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& def) {
    const KeyFilePtr kf = LoadKeyFile();
    if (!kf) {
        return def;
    }
    gchar* value =
        g_key_file_get_string(kf.get(), GroupName(section).c_str(), entry.c_str(), nullptr);
    if (!value) {
        return def;
    }
    std::string out(value);
    g_free(value);
    return out;
}

bool WriteProfileString(const std::string& section, const std::string& entry,
                        const std::string& value) {
    KeyFilePtr kf = LoadKeyFile();
    if (!kf) {
        kf.reset(g_key_file_new());  // a corrupt file is replaced by a clean one
    }
    g_key_file_set_string(kf.get(), GroupName(section).c_str(), entry.c_str(),
                          ValidUtf8(value).c_str());

    const std::string path = ProfilePath();
    gchar* dir = g_path_get_dirname(path.c_str());
    const int made = g_mkdir_with_parents(dir, 0700);
    g_free(dir);
    if (made != 0) {
        return false;
    }
    // g_key_file_save_to_file writes a temporary file and renames it over
    // the old one, so a failed write leaves the stored values as they were.
    return g_key_file_save_to_file(kf.get(), path.c_str(), nullptr) != FALSE;
}

}  // namespace plat
