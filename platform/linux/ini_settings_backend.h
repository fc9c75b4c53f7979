// The settings store on Linux: one per-user INI file, one section per
// Profile, in the layout that Qt's QSettings uses for IniFormat files (UTF-8,
// "[section]" headers, "key=value" lines, names and values escaped the same
// way), so that either can read what the other wrote.
//
// Every write takes an exclusive lock on "<file>.lock", re-reads the file,
// changes the one value and replaces the file atomically (a temporary file in
// the same folder, synced, renamed over the old one, folder synced), so that
// copies of the program running at once never lose each other's values and a
// crash never leaves a torn file. The files are readable and writable by
// their owner only. Section and key names compare case-sensitively; as in
// QSettings, a "/" in a name separates levels.
#pragma once

#include <optional>
#include <string>

#include "platform/settings_backend.h"

namespace fhsw {

class IniSettingsBackend final : public SettingsBackend {
public:
    explicit IniSettingsBackend(std::string path);

    // $XDG_CONFIG_HOME/FH_SENDWARDEN.ini, or ~/.config/FH_SENDWARDEN.ini when
    // the variable is unset, empty or not an absolute path. Empty when no home
    // folder can be found.
    static std::string DefaultPath();

    const std::string& path() const { return path_; }

    // Reads the file as it is now; an unreadable or missing file reads as
    // empty. Lines that do not parse are skipped.
    std::optional<std::string> read(const std::string& section, const std::string& key) override;
    bool write(const std::string& section, const std::string& key, const std::string& value,
               std::string& error) override;

private:
    std::string path_;
};

}  // namespace fhsw
