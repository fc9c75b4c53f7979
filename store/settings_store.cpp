#include "store/settings_store.h"

#include <charconv>
#include <cmath>
#include <limits>


namespace fhsw {

std::string SettingsStore::ReadSetting(const std::string& section, const std::string& key,
                                       const std::string& def) const {
    auto value = backend_.read(section, key);
    return value ? *value : def;
}

bool SettingsStore::WriteSetting(const std::string& section, const std::string& key,
                                 const std::string& value) {
    std::string error;
    if (backend_.write(section, key, value, error)) return true;
    if (onWriteError) onWriteError("cannot store " + key + ": " + error);
    return false;
}

std::int16_t SettingsStore::readTickIn(const std::string& section, const std::string& key,
                                       std::int16_t def) const {
    ParseTick(ReadSetting(section, key, ""), def);  // unchanged unless the stored text converts
    return def;
}

float SettingsStore::readNumber(const std::string& key, float def) const {
    ParseNumber(ReadSetting(ProfileName(), key, ""), def);
    return def;
}

std::string FormatNumber(float value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, res.ptr);
    if (s == "-0") s = "0";
    return s;
}

namespace {
template <class T>
bool Parse(const std::string& text, T& out) {
    T v{};
    const char* end = text.data() + text.size();
    auto res = std::from_chars(text.data(), end, v);
    if (text.empty() || res.ec != std::errc() || res.ptr != end) return false;
    out = v;
    return true;
}
}  // namespace

bool ParseTick(const std::string& text, std::int16_t& out) { return Parse(text, out); }

bool ParseNumber(const std::string& text, float& out) {
    float v = 0;
    if (!Parse(text, v) || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace fhsw
