#include "platform/windows/registry_settings_backend.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
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

namespace {

// A value as the registry holds it (type and bytes); false when it is absent.
bool ReadRaw(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    data.resize(256);
    LONG rc = ERROR_MORE_DATA;
    // The value may grow between the two calls when another copy writes it.
    for (int attempt = 0; attempt < 8 && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD size = static_cast<DWORD>(data.size());
        rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(rc == ERROR_MORE_DATA ? size + sizeof(wchar_t) : size);
    }
    return rc == ERROR_SUCCESS;
}

std::string Where(const std::string& section) {
    return "HKEY_CURRENT_USER\\" + std::string(RegistrySettingsBackend::kRootKey) + "\\" + section;
}

}  // namespace

std::optional<std::string> RegistrySettingsBackend::read(const std::string& section,
                                                         const std::string& key) {
    if (section.empty() || key.empty()) return std::nullopt;
    OpenKey hkey;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_QUERY_VALUE,
                        hkey.out()) != ERROR_SUCCESS ||
        !ReadRaw(hkey.get(), Widen(key), type, data))
        return std::nullopt;
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

// Each value's earlier state is read before it is written; after a failure
// every value written goes back to it, in reverse order (a value that was
// absent is deleted, a section key made here is removed when it holds
// nothing), and the first failure is reported.
bool RegistrySettingsBackend::writeAll(const std::vector<SettingValue>& values, std::string& error) {
    for (const SettingValue& v : values) {
        if (v.section.empty() || v.key.empty()) {
            error = v.section.empty() ? "no section name" : "no key name";
            return false;
        }
        if ((v.value.size() + 1) * sizeof(wchar_t) > MAXDWORD) {
            error = "the value of " + v.key + " is too long for the registry";
            return false;
        }
    }
    struct Before {
        HKEY key;
        std::wstring name;
        bool existed;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::map<std::string, HKEY> keys;  // by section
    std::vector<std::wstring> made;    // section keys that did not exist
    std::vector<Before> done;
    LONG rc = ERROR_SUCCESS;
    for (const SettingValue& v : values) {
        HKEY& key = keys[v.section];
        DWORD disposition = 0;
        if (key == nullptr &&
            (rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(v.section).c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                                    &key, &disposition)) != ERROR_SUCCESS) {
            key = nullptr;
            error = "cannot open " + Where(v.section) + ": " + SystemMessage(rc);
            break;
        }
        if (disposition == REG_CREATED_NEW_KEY) made.push_back(SectionKeyPath(v.section));
        Before before{key, Widen(v.key), false, REG_NONE, {}};
        before.existed = ReadRaw(key, before.name, before.type, before.data);
        const std::wstring text = Widen(v.value);
        rc = ::RegSetValueExW(key, before.name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        if (rc != ERROR_SUCCESS) {
            error = "cannot store " + v.key + " in " + Where(v.section) + ": " + SystemMessage(rc);
            break;
        }
        done.push_back(std::move(before));
    }
    const bool ok = rc == ERROR_SUCCESS;
    bool allBack = true;
    for (auto it = done.rbegin(); !ok && it != done.rend(); ++it) {
        const LONG back = it->existed ? ::RegSetValueExW(it->key, it->name.c_str(), 0, it->type,
                                                         it->data.data(),
                                                         static_cast<DWORD>(it->data.size()))
                                      : ::RegDeleteValueW(it->key, it->name.c_str());
        if (back != ERROR_SUCCESS && std::exchange(allBack, false))
            error += "; not every earlier value could be put back: " + SystemMessage(back);
    }
    for (const auto& [section, key] : keys) {
        DWORD count = 1;
        if (!ok && key && ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             &count, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            count == 0 && std::find(made.begin(), made.end(), SectionKeyPath(section)) != made.end())
            ::RegDeleteKeyW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str());
        if (key) ::RegCloseKey(key);
    }
    return ok;
}

std::vector<std::string> RegistrySettingsBackend::sections() {
    std::vector<std::string> names;
    OpenKey root;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Widen(kRootKey).c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                        root.out()) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];  // a key name has at most 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        const LONG rc = ::RegEnumKeyExW(root.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS) names.push_back(Narrow(std::wstring_view(name, size)));
        else if (rc != ERROR_MORE_DATA) break;
    }
    return names;
}

}  // namespace fhsw
