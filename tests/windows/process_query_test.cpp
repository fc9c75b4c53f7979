// The process watch on Windows: a renamed copy of a sleeping program is found
// by its image name in any case, and no longer once it has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/process_query_windows.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

TEST(WindowsProcessQuery, ARenamedSleeperIsFoundByImageNameInAnyCase) {
    TempFolder dir;
    const std::string image = "FhSwSleeper" + std::to_string(::GetCurrentProcessId()) + ".exe";
    const std::wstring exe = dir.path() + L"\\" + Widen(image);
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), exe.c_str(), FALSE));
    WindowsProcessQuery query;
    ASSERT_FALSE(query.isProcessRunning(image));

    const std::wstring sleep = L"20000";
    ScopedEnvW sleeping(L"FHSW_STUB_SLEEP_MS", &sleep);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + exe + L"\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &info));
    ::CloseHandle(info.hThread);

    std::string lower = image, upper = image;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {image, lower, upper})
        EXPECT_TRUE(query.isProcessRunning(name)) << name;
    // Only whole image names: no part of one, no path, nothing empty.
    for (const std::string& name :
         {std::string("FhSwSleeper"), image + "x", "C:\\" + image, std::string()})
        EXPECT_FALSE(query.isProcessRunning(name)) << name;

    ::TerminateProcess(info.hProcess, 0);
    ::WaitForSingleObject(info.hProcess, 10000);
    ::CloseHandle(info.hProcess);
    EXPECT_FALSE(query.isProcessRunning(image));
}

}  // namespace
}  // namespace fhsw::test
