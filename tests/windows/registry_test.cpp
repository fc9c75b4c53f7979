// The registry store with values and names that other stores trip over: line
// breaks, quotes, backslashes, '%' (never expanded), non-ASCII of every
// plane, empty and very long values; a batch stored whole or not at all; the
// sections listed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/registry_settings_backend.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

TEST(RegistryStore, HostileValuesAndNamesRoundTrip) {
    const std::vector<std::string> values = {
        "",
        "plain",
        "two\r\nlines\nand\ra lone CR",
        "C:\\nope\\tab\\",
        "\"quoted\" and \\\"escaped\\\"",
        "%PATH% %TEMP% 100%",
        "!x! ^ & | < > ( )",
        "caf\u00e9 \u03a9 \u4e2d \U0001F600",
        std::string(100000, 'L') + "\u03a9",
    };
    const std::vector<std::string> names = {
        "SUBJECT_TEXTBOX", "name with blanks", "%TEMP%", "q\"uote", "back\\slash",
        "\u03a9mega \U0001F600", std::string(200, 'k')};
    RegistrySettingsBackend store;
    for (const std::string section : {"", " \u03a9 \U0001F600 %TEMP% \"q\""}) {
        ScratchSection scratch(section);
        std::string error;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string& value = values[i % values.size()];
            ASSERT_TRUE(store.write(scratch.name, names[i], value, error)) << names[i] << ": " << error;
        }
        const auto valueName = [](std::size_t i) { return std::string(1, 'V') + std::to_string(i); };
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_TRUE(store.write(scratch.name, valueName(i), values[i], error)) << error;
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(store.read(scratch.name, names[i]), values[i % values.size()]) << names[i];
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(store.read(scratch.name, valueName(i)), values[i]) << i;
        // Names compare without regard to case, as in the registry.
        EXPECT_EQ(store.read(scratch.name, "subject_textbox"), values[0]);
        EXPECT_EQ(store.read(scratch.name, "\u03a9MEGA \U0001F600"), values[5 % values.size()]);
        EXPECT_FALSE(store.read(scratch.name, "absent"));

        // Stored as plain text (REG_SZ), '%' not expanded on the way back.
        DWORD type = 0;
        ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, scratch.key().c_str(), L"V5", RRF_RT_ANY | RRF_NOEXPAND,
                                 &type, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    }
    std::string error;
    EXPECT_FALSE(store.write("", "k", "v", error));
    EXPECT_FALSE(store.write("s", "", "v", error));
}

// A value that the registry refuses (a section name longer than a key name
// may be) in the middle of a batch: every value before it goes back to what
// it was, of its own type, or away, and a section made for the batch goes.
TEST(RegistryStore, ABatchIsStoredWholeOrNotAtAll) {
    RegistrySettingsBackend store;
    ScratchSection a("-a \u03a9"), made("-made"), later("-later");
    std::string error;
    ASSERT_TRUE(store.write(a.name, "TEXT", "old", error)) << error;
    const DWORD five = 5;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, a.key().c_str(), L"NUMBER", REG_DWORD, &five, sizeof five),
              ERROR_SUCCESS);
    const std::string refused(300, 'S');
    std::vector<SettingValue> batch = {{a.name, "TEXT", "new"}, {a.name, "NUMBER", "new"},
                                       {a.name, "ABSENT", "new"}, {made.name, "K", "new"},
                                       {refused, "K", "x"}, {later.name, "K", "new"}};
    EXPECT_FALSE(store.writeAll(batch, error));
    EXPECT_NE(error.find(refused), std::string::npos) << error;
    const std::vector<std::optional<std::string>> before = {"old", "5", std::nullopt, std::nullopt, std::nullopt};
    auto now = [&] {
        std::vector<std::optional<std::string>> values;
        for (const SettingValue& v : batch)
            if (v.section != refused) values.push_back(store.read(v.section, v.key));
        return values;
    };
    EXPECT_EQ(now(), before);
    std::vector<std::string> sections = store.sections();
    EXPECT_EQ(std::count(sections.begin(), sections.end(), a.name), 1);
    EXPECT_EQ(std::count(sections.begin(), sections.end(), made.name), 0);

    batch.erase(batch.begin() + 4);
    ASSERT_TRUE(store.writeAll(batch, error)) << error;
    EXPECT_EQ(now(), std::vector<std::optional<std::string>>(5, "new"));
    sections = store.sections();
    for (const ScratchSection* s : {&a, &made, &later})
        EXPECT_EQ(std::count(sections.begin(), sections.end(), s->name), 1) << s->name;
}

}  // namespace
}  // namespace fhsw::test
