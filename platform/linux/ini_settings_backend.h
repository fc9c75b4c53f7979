// The settings store on Linux: one per-user INI file, one section per
// Profile, in the layout that Qt's QSettings uses for IniFormat files (UTF-8,
// "[section]" headers, "key=value" lines, names and values escaped the same
// way), so that either can read what the other wrote.
//
// Every read looks at the file as it is at that moment, so a value saved by
// another copy of the program is seen at the next read; but a file that has
// not changed since it was last read is not read or parsed again. The parsed
// file is kept together with the file's identity (device, inode, size,
// modification and change time in nanoseconds); every save replaces the file
// and so gives it a new inode. A file that another hand changed so recently
// that a further change could keep its time stamps is compared byte for byte
// as well; a file this copy has just saved is known by its identity alone.
//
// Every write takes an exclusive lock on "<file>.lock", re-reads the file if
// it changed, changes the one value and replaces the file atomically (a
// temporary file in the same folder, synced, renamed over the old one, folder
// synced), so that copies of the program running at once never lose each
// other's values and a crash never leaves a torn file. What a write stored is
// kept as the parsed file at once. The files are readable and writable by
// their owner only. Section and key names compare case-sensitively; as in
// QSettings, a "/" in a name separates levels.
//
// Anything but a regular file in the settings file's place (a folder, a named
// pipe, a device) is refused before it is read: reads give the defaults and
// report it once through onReadError, writes fail with the reason.
//
// One object may be used from several threads; its calls take turns.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_backend.h"

namespace fhsw {

class IniSettingsBackend final : public SettingsBackend {
public:
    explicit IniSettingsBackend(std::string path);
    ~IniSettingsBackend() override;

    // $XDG_CONFIG_HOME/FH_SENDWARDEN.ini, or ~/.config/FH_SENDWARDEN.ini when
    // the variable is unset, empty or not an absolute path. Empty when no home
    // folder can be found.
    static std::string DefaultPath();

    const std::string& path() const { return path_; }

    // The value in the file as it is now; a missing or unreadable file reads
    // as empty. Lines that do not parse are skipped.
    std::optional<std::string> read(const std::string& section, const std::string& key) override;
    bool writeAll(const std::vector<SettingValue>& values, std::string& error) override;
    std::vector<std::string> sections() override;

private:
    bool writeOne(const std::string& section, const std::string& key, const std::string& value,
                  std::string& error);

public:

    // onReadError is called once with a message when the file cannot be read
    // (and again only after it could be read in between). It writes to
    // standard error unless replaced.
    // Why the last read found the file unreadable; empty when it was read.
    std::string lastReadError() const;
    // How many times the file's text has been parsed.
    std::size_t parses() const;

private:
    struct Cache;
    bool refresh(const std::string& file, std::string& reason);

    std::string path_;
    mutable std::mutex mutex_;
    std::unique_ptr<Cache> cache_;
    std::size_t parses_ = 0;
    std::string readError_;
};

}  // namespace fhsw
