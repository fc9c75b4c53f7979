#include "platform/windows/registry_settings_backend.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

std::string SectionPath(const std::string& section) {
    return std::string(RegistrySettingsBackend::kRootKey) + "\\" + section;
}

// A key below HKEY_CURRENT_USER, opened for `access`; null when absent.
UniqueKey OpenKey(const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    return UniqueKey(::RegOpenKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, access, &key) == ERROR_SUCCESS ? key
                                                                                                             : nullptr);
}

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

}  // namespace

std::optional<std::string> RegistrySettingsBackend::read(const std::string& section,
                                                         const std::string& key) {
    const UniqueKey hkey = OpenKey(SectionPath(section), KEY_QUERY_VALUE);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!hkey || !ReadRaw(hkey.get(), Widen(key), type, data)) return std::nullopt;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        // Stored with one terminating NUL; values put there by other
        // programs may lack it. Environment references are not expanded.
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return Narrow(text);
    }
    if (type != REG_DWORD || data.size() != sizeof(DWORD)) return std::nullopt;
    LONG number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    return std::to_string(number);
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
    }
    struct Section {
        UniqueKey key;
        bool made = false;  // by this batch
    };
    struct Before {
        HKEY key;
        std::wstring name;
        bool existed = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data{};
    };
    std::map<std::string, Section> sections;
    std::vector<Before> done;
    LONG rc = ERROR_SUCCESS;
    for (const SettingValue& v : values) {
        Section& section = sections[v.section];
        HKEY key = section.key.get();
        DWORD disposition = 0;
        if (!key && (rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(SectionPath(v.section)).c_str(), 0, nullptr,
                                            REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                                            &disposition)) != ERROR_SUCCESS) {
            error = "cannot open HKEY_CURRENT_USER\\" + SectionPath(v.section) + ": " + SystemMessage(rc);
            break;
        }
        if (!section.key) section = {UniqueKey(key), disposition == REG_CREATED_NEW_KEY};
        Before before{key, Widen(v.key)};
        before.existed = ReadRaw(key, before.name, before.type, before.data);
        const std::wstring text = Widen(v.value);
        rc = ::RegSetValueExW(key, before.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        if (rc != ERROR_SUCCESS) {
            error = "cannot store " + v.key + " in HKEY_CURRENT_USER\\" + SectionPath(v.section) + ": " +
                    SystemMessage(rc);
            break;
        }
        done.push_back(std::move(before));
    }
    if (rc == ERROR_SUCCESS) return true;
    bool allBack = true;
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        const LONG back = it->existed ? ::RegSetValueExW(it->key, it->name.c_str(), 0, it->type, it->data.data(),
                                                         static_cast<DWORD>(it->data.size()))
                                      : ::RegDeleteValueW(it->key, it->name.c_str());
        if (back != ERROR_SUCCESS && std::exchange(allBack, false))
            error += "; not every earlier value could be put back: " + SystemMessage(back);
    }
    for (const auto& [name, section] : sections) {
        DWORD count = 1;
        if (section.made && ::RegQueryInfoKeyW(section.key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                               &count, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            count == 0)
            ::RegDeleteKeyW(HKEY_CURRENT_USER, Widen(SectionPath(name)).c_str());
    }
    return false;
}

std::vector<std::string> RegistrySettingsBackend::sections() {
    std::vector<std::string> names;
    const UniqueKey root = OpenKey(kRootKey, KEY_ENUMERATE_SUB_KEYS);
    wchar_t name[256];  // a key name has at most 255 characters
    for (DWORD i = 0, size = 256;
         root && ::RegEnumKeyExW(root.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 256)
        names.push_back(Narrow({name, size}));
    return names;
}

}  // namespace fhsw
