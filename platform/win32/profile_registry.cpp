// Profile strings in the per-user registry, where the original program keeps
// them: HKEY_CURRENT_USER\Software\<company>\<application>, the empty section
// being the application key itself; and the player's data folder in the
// roaming application data.
#include "platform/win32/wide.h"

#include <shlobj.h>

#include "platform/profile.h"

namespace plat {
namespace {

std::string g_strCompany = "koruhaus";
std::string g_strApp = "doruzoro";

std::wstring KeyPath(const std::string& section) {
    std::wstring path = L"Software\\" + Wide(g_strCompany) + L"\\" + Wide(g_strApp);
    if (!section.empty()) {
        path += L"\\" + Wide(section);
    }
    return path;
}

class CKey {
public:
    ~CKey() {
        if (m_h) {
            RegCloseKey(m_h);
        }
    }
    HKEY* Out() { return &m_h; }
    HKEY Get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

}  // namespace

void SetRegistryKey(const std::string& company) {
    g_strCompany = company;
}
void SetAppName(const std::string& app) {
    g_strApp = app;
}

std::string ProfilePath() {
    return "HKEY_CURRENT_USER\\" + Narrow(KeyPath(""));
}

std::string UserDataPath() {
    wchar_t* folder = nullptr;
    std::wstring base;
    if (SUCCEEDED(
            SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder))) {
        base = folder;
    }
    CoTaskMemFree(folder);
    if (base.empty()) {
        const wchar_t* env = _wgetenv(L"APPDATA");
        base = env ? env : L"";
    }
    if (base.empty()) {
        return std::string();
    }
    return ProgramPath(base) + "/" + g_strCompany + "/" + g_strApp;
}

std::string GetProfileString(const std::string& section, const std::string& entry,
                             const std::string& def) {
    CKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, KEY_QUERY_VALUE, key.Out()) !=
        ERROR_SUCCESS) {
        return def;
    }
    const std::wstring name = Wide(entry);
    std::wstring value(64, L'\0');
    for (;;) {
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LONG rc = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value[0]), &bytes);
        if (rc == ERROR_MORE_DATA) {
            value.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return def;
        }
        value.resize(bytes / sizeof(wchar_t));
        break;
    }
    // The stored text ends at its first NUL, as the system reads it.
    const size_t nul = value.find(L'\0');
    if (nul != std::wstring::npos) {
        value.resize(nul);
    }
    return Narrow(value);
}

bool WriteProfileString(const std::string& section, const std::string& entry,
                        const std::string& value) {
    CKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.Out(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring text = Wide(value);  // ill-formed bytes become U+FFFD
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), Wide(entry).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

}  // namespace plat
