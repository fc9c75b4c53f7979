// The settings store on Linux: one per-user INI file, one section per
// Profile, read and written by Qt's QSettings (IniFormat).
//
// Reads: every read first looks at the file (it must be this user's own
// regular file, or a link of this user or root to one), then lets QSettings
// see whether it changed (size and modification time) and read it again if
// so. A value saved by another copy of the program is thus seen at the next
// read. After a save of its own, the object answers from what it wrote for
// as long as the file is the one it put there.
//
// Saves: copies of the program take turns through a lock (flock) on
// "<file>.lock" beside the file; a save waits for it at most 10 s. Holding it,
// the save copies the file to a new file of its own beside it, lets a new
// QSettings object store every value in that copy, and renames the copy over
// the file. So values of other copies are never lost, a kill at any moment
// leaves the old or the new file, and a failed save leaves the file and this
// object's view as they were. What a killed save left is removed by the next
// save. The file is readable and writable by its owner only; a missing
// folder is created owner-only. Through a link, its target is written.
//
// Anything but such a file in the settings file's place (a folder, a named
// pipe, a device, a file or link of another user) is refused before it is
// opened: reads give the defaults and report it once through onReadError,
// saves fail with the reason.
//
// One object may be used from several threads; its calls take turns.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_backend.h"

class QSettings;

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

    std::optional<std::string> read(const std::string& section, const std::string& key) override;
    bool writeAll(const std::vector<SettingValue>& values, std::string& error) override;
    // The Profiles: the file's sections. Keys outside any section belong to
    // no Profile and are not listed.
    std::vector<std::string> sections() override;
    std::string openToOthers() override;

    // A version of the file: device, inode (a save makes a new file), size
    // and modification time in ns (which a change in place moves).
    using Version = std::array<std::int64_t, 4>;

private:
    // The settings as the file holds them now; nullptr and the reason when it
    // is refused. Called with mutex_ held.
    QSettings* view(std::string& reason);
    // Calls `f` with the view; a refusal is reported once (until a read
    // succeeds again).
    void use(const std::function<void(QSettings&)>& f);

    std::string path_;
    std::mutex mutex_;
    std::unique_ptr<QSettings> view_;
    std::optional<Version> written_;  // set while view_ is what this object saved
    std::string readError_;
};

}  // namespace fhsw
