#include "platform/windows/registry_settings_backend.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

std::wstring SectionKeyPath(const std::string& section) {
    return Widen(std::string(RegistrySettingsBackend::kRootKey) + "\\" + section);
}

class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::string> RegistrySettingsBackend::read(const std::string& section,
                                                         const std::string& key) {
    if (section.empty() || key.empty()) return std::nullopt;
    OpenKey hkey;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_QUERY_VALUE,
                        hkey.out()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring name = Widen(key);
    std::vector<BYTE> data(256);
    DWORD type = 0;
    LONG rc = ERROR_MORE_DATA;
    // The value may grow between the two calls when another copy writes it.
    for (int attempt = 0; attempt < 8 && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD size = static_cast<DWORD>(data.size());
        rc = ::RegQueryValueExW(hkey.get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(static_cast<std::size_t>(size) + sizeof(wchar_t));
        } else if (rc == ERROR_SUCCESS) {
            data.resize(size);
        }
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;

    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        // Stored with one terminating NUL; values put there by other
        // programs may lack it. Environment references are not expanded.
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return Narrow(text);
    }
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        return std::to_string(static_cast<long>(static_cast<LONG>(number)));
    }
    return std::nullopt;
}

bool RegistrySettingsBackend::writeOne(const std::string& section, const std::string& key,
                                    const std::string& value, std::string& error) {
    if (section.empty()) {
        error = "no section name";
        return false;
    }
    if (key.empty()) {
        error = "no key name";
        return false;
    }
    const std::wstring text = Widen(value);
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (bytes > static_cast<std::size_t>(MAXDWORD)) {
        error = "the value is too long for the registry";
        return false;
    }
    OpenKey hkey;
    LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, hkey.out(),
                                nullptr);
    if (rc != ERROR_SUCCESS) {
        error = "cannot open HKEY_CURRENT_USER\\" + std::string(kRootKey) + "\\" + section + ": " +
                SystemMessage(static_cast<unsigned long>(rc));
        return false;
    }
    rc = ::RegSetValueExW(hkey.get(), Widen(key).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(bytes));
    if (rc != ERROR_SUCCESS) {
        error = "cannot store " + key + " in HKEY_CURRENT_USER\\" + std::string(kRootKey) + "\\" +
                section + ": " + SystemMessage(static_cast<unsigned long>(rc));
        return false;
    }
    return true;
}

bool RegistrySettingsBackend::writeAll(const std::vector<SettingValue>& values, std::string& error) {
    for (const SettingValue& v : values)
        if (!writeOne(v.section, v.key, v.value, error)) return false;
    return true;
}

std::vector<std::string> RegistrySettingsBackend::sections() { return {}; }

}  // namespace fhsw
