// The settings store: one Profile per executable base name, plus the shared
// profile, all under the application name FH_SENDWARDEN.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/executable_name.h"
#include "platform/settings_backend.h"

namespace fhsw {

inline constexpr const char* kApplicationName = "FH_SENDWARDEN";
inline constexpr const char* kSharedProfile = "FH_SW_SHARED_SETTINGS";

// Decimal text of a number: optional "-", digits, a decimal part only when
// the value has one.
std::string FormatNumber(float value);

class SettingsStore {
public:
    SettingsStore(SettingsBackend& backend, ExecutableName& exe) : backend_(backend), exe_(exe) {}

    // The Profile's section: the running executable's base name.
    std::string ProfileName() const { return exe_.baseName(); }
    // The stored text, or `def` when the key or section is absent.
    std::string ReadSetting(const std::string& section, const std::string& key,
                            const std::string& def) const;
    // Stores the text. A failure is reported through onWriteError (and is
    // otherwise not fatal: the program goes on with what it holds).
    bool WriteSetting(const std::string& section, const std::string& key, const std::string& value);
    // Stores all the values or none; on failure `error` says why (nothing
    // is reported through onWriteError: the caller reports it).
    bool WriteSettings(const std::vector<SettingValue>& values, std::string& error) {
        return backend_.writeAll(values, error);
    }
    // The sections that hold any key: every Profile and the shared profile.
    std::vector<std::string> Sections() const { return backend_.sections(); }
    // Why others could read or change the stored settings; "" when they cannot.
    std::string OpenToOthers() const { return backend_.openToOthers(); }

    // Typed reads and writes on the current Profile. A stored value that
    // does not convert (only a hand edit can cause it) reads as the default.
    std::string readText(const std::string& key, const std::string& def = "") const {
        return ReadSetting(ProfileName(), key, def);
    }
    std::int16_t readTickIn(const std::string& section, const std::string& key,
                            std::int16_t def) const;
    float readNumber(const std::string& key, float def) const;
    void writeTick(const std::string& key, std::int16_t state) {
        WriteSetting(ProfileName(), key, std::to_string(state));
    }

    // Called with a message naming the key and the reason when a write fails.
    std::function<void(const std::string&)> onWriteError;
    // Called with a message when the stored settings cannot be read (they
    // then read as their defaults): the backend's own listener.
    std::function<void(const std::string&)>& onReadError() { return backend_.onReadError; }

private:
    SettingsBackend& backend_;
    ExecutableName& exe_;
};

// Whole-string conversions; nothing when the text does not convert.
bool ParseTick(const std::string& text, std::int16_t& out);
bool ParseNumber(const std::string& text, float& out);

}  // namespace fhsw
