// The settings store on Windows: the per-user registry, one key per section
// under HKEY_CURRENT_USER\Software\VB and VBA Program Settings\FH_SENDWARDEN,
// one REG_SZ value per setting (value name = key name). Values are UTF-16
// text and may hold line breaks. Section and key names compare without
// regard to case, as the registry does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/settings_backend.h"

namespace fhsw {

class RegistrySettingsBackend final : public SettingsBackend {
public:
    // The key that holds the sections, below HKEY_CURRENT_USER.
    static constexpr const char* kRootKey = "Software\\VB and VBA Program Settings\\FH_SENDWARDEN";

    // Absent key or section: nothing. A REG_DWORD value (put there by hand)
    // reads as its decimal text; values of other binary types read as absent.
    std::optional<std::string> read(const std::string& section, const std::string& key) override;
    // All or none: a failure puts back what the batch changed. The registry
    // keeps a value once RegSetValueExW has returned, whatever becomes of the
    // program afterwards. Another copy's write between ours and a putting
    // back is lost.
    bool writeAll(const std::vector<SettingValue>& values, std::string& error) override;
    // Every section key (this store leaves none without values).
    std::vector<std::string> sections() override;
};

}  // namespace fhsw
