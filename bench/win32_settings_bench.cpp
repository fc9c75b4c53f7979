// Cost of the registry store with many profiles (Windows, or Wine): makes
// COUNT profiles (default 1000) under the store's key, each with the 21
// values a SAVE stores, then times, median of ROUNDS (default 20):
//  - one SAVE's batch of 21 values into one profile (writeAll),
//  - sections(),
//  - sections() and a read of INSTALL_FOLDER_TEXTBOX in every profile, which
//    is what SAVE does to warn of profiles that share a folder.
// The profiles are named "FHSW-BENCH-<process>-<n>" and removed at the end.
// Prints figures; asserts nothing.
//
// Usage: win32_settings_bench [COUNT [ROUNDS]]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/windows/registry_settings_backend.h"
#include "platform/windows/win32_text.h"

namespace {

double MedianMs(int rounds, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string prefix = "FHSW-BENCH-" + std::to_string(::GetCurrentProcessId()) + "-";
    fhsw::RegistrySettingsBackend store;
    auto batch = [&](const std::string& section, int n) {
        std::vector<fhsw::SettingValue> values;
        values.push_back({section, "INSTALL_FOLDER_TEXTBOX", "C:\\SendEmail\\" + std::to_string(n % 50)});
        for (int k = 1; k < 21; ++k)
            values.push_back({section, "FIELD_" + std::to_string(k) + "_TEXTBOX", std::string(40, 'v')});
        return values;
    };
    std::string error;
    const auto t0 = std::chrono::steady_clock::now();
    for (int n = 0; n < count; ++n) {
        if (!store.writeAll(batch(prefix + std::to_string(n), n), error)) {
            std::fprintf(stderr, "cannot make the profiles: %s\n", error.c_str());
            return 1;
        }
    }
    const double making = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::size_t found = 0;
    const double save = MedianMs(rounds, [&] { store.writeAll(batch(prefix + "0", 0), error); });
    const double list = MedianMs(rounds, [&] { found = store.sections().size(); });
    const double listRead = MedianMs(rounds, [&] {
        for (const std::string& section : store.sections()) store.read(section, "INSTALL_FOLDER_TEXTBOX");
    });
    std::printf("registry store, %d profiles of 21 values (%zu sections listed), median of %d rounds:\n"
                "  making them: %.0f ms (%.2f ms a profile)\n"
                "  one SAVE's batch (writeAll of 21 values): %.2f ms\n"
                "  sections(): %.2f ms\n"
                "  sections() and INSTALL_FOLDER_TEXTBOX of every profile: %.2f ms\n",
                count, found, rounds, making, making / count, save, list, listRead);
    const std::wstring root = fhsw::Widen(fhsw::RegistrySettingsBackend::kRootKey);
    for (int n = 0; n < count; ++n)
        ::RegDeleteKeyW(HKEY_CURRENT_USER, (root + L"\\" + fhsw::Widen(prefix + std::to_string(n))).c_str());
    return 0;
}
