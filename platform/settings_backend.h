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

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // The stored text, or nothing when the key or its section is absent.
    virtual std::optional<std::string> read(const std::string& section, const std::string& key) = 0;
    // Stores the text; on success it is kept even if the program dies right
    // after. On failure returns false and puts the reason into `error`.
    virtual bool write(const std::string& section, const std::string& key, const std::string& value,
                       std::string& error) = 0;

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
    bool write(const std::string& section, const std::string& key, const std::string& value,
               std::string& error) override {
        if (failWrites) {
            error = "store is read-only";
            return false;
        }
        values[{section, key}] = value;
        writes.push_back({section, key, value});
        return true;
    }

    struct Write {
        std::string section, key, value;
        friend bool operator==(const Write&, const Write&) = default;
    };
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<Write> writes;  // every write in order, for tests of order
    bool failWrites = false;
    std::string readError;  // when set, every read fails with it
};

}  // namespace fhsw
