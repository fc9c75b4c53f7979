// The registry store with values and names that other stores trip over: line
// breaks, quotes, backslashes, '%' (never expanded), non-ASCII of every
// plane, empty and very long values.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/registry_settings_backend.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

// A section of its own, removed afterwards.
struct ScratchSection {
    std::string name;
    explicit ScratchSection(const std::string& suffix)
        : name("FHSW-TEST-" + std::to_string(::GetCurrentProcessId()) + suffix) {}
    ~ScratchSection() {
        const std::wstring path =
            Widen(std::string(RegistrySettingsBackend::kRootKey) + "\\" + name);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
    }
};

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
        const std::wstring key =
            Widen(std::string(RegistrySettingsBackend::kRootKey) + "\\" + scratch.name);
        DWORD type = 0;
        ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"V5", RRF_RT_ANY | RRF_NOEXPAND,
                                 &type, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    }
    std::string error;
    EXPECT_FALSE(store.write("", "k", "v", error));
    EXPECT_FALSE(store.write("s", "", "v", error));
}

}  // namespace
}  // namespace fhsw::test
