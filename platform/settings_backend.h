// Where the settings store keeps its values: sections of keys with text
// values, per user, kept across runs.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fhsw {

struct SettingValue {
    std::string section, key, value;
    friend bool operator==(const SettingValue&, const SettingValue&) = default;
};

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // The stored text, or nothing when the key or its section is absent.
    virtual std::optional<std::string> read(const std::string& section, const std::string& key) = 0;
    // Stores every value, in order, or none of them: after a failure the
    // store holds what it held before, and `error` says why. What it stored
    // is kept even if the program dies right after.
    virtual bool writeAll(const std::vector<SettingValue>& values, std::string& error) = 0;
    bool write(const std::string& section, const std::string& key, const std::string& value,
               std::string& error) {
        return writeAll({{section, key, value}}, error);
    }
    // The names of the sections that hold at least one key.
    virtual std::vector<std::string> sections() = 0;
    // Why users other than this one could read or change the stored
    // settings (a folder that others may write to); empty when they cannot.
    virtual std::string openToOthers() { return {}; }

    // Called with a message when the stored settings cannot be read at all
    // (every key then reads as absent).
    std::function<void(const std::string&)> onReadError;
};

// Keeps everything in memory: for tests.
class MemorySettingsBackend final : public SettingsBackend {
public:
    std::optional<std::string> read(const std::string& section, const std::string& key) override {
        if (!readError.empty()) {
            if (onReadError) onReadError(readError);
            return std::nullopt;
        }
        auto it = values.find({section, key});
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    bool writeAll(const std::vector<SettingValue>& batch, std::string& error) override {
        if (failWrites) {
            error = "store is read-only";
            return false;
        }
        for (const SettingValue& v : batch) {
            values[{v.section, v.key}] = v.value;
            writes.push_back({v.section, v.key, v.value});
        }
        ++batches;
        return true;
    }
    std::vector<std::string> sections() override {
        std::vector<std::string> names;
        for (const auto& [at, value] : values)
            if (names.empty() || names.back() != at.first) names.push_back(at.first);
        return names;
    }

    std::string openToOthers() override { return open; }

    using Write = SettingValue;
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<Write> writes;  // every value written, in order, for tests of order
    int batches = 0;            // calls of writeAll that stored
    bool failWrites = false;
    std::string readError;  // when set, every read fails with it
    std::string open;       // what openToOthers() answers
};

}  // namespace fhsw
