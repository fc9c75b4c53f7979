// Cost of one process-list look on Windows: times
// WindowsProcessQuery::isProcessRunning for each image name given (an image
// that runs, such as this program's own, and one that does not), against
// starting the system's own list, `tasklist /fi "IMAGENAME eq ..." /nh`,
// for the same answer (output to NUL), the way a script would ask. Prints
// plain figures; asserts nothing.
//
// Usage: win32_process_query_bench [ROUNDS [IMAGE...]]
//        (default 200 rounds, images "win32_process_query_bench.exe" and
//        "SendEmail.exe")
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/windows/process_query_windows.h"

namespace {

// Milliseconds from starting tasklist for `image` to its end; negative when
// it could not be started.
double TimeTasklist(const std::string& image) {
    std::wstring line = L"tasklist.exe /fi \"IMAGENAME eq " + std::wstring(image.begin(), image.end()) + L"\" /nh";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const auto t0 = std::chrono::steady_clock::now();
    const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &si, &pi);
    if (started) {
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    const auto t1 = std::chrono::steady_clock::now();
    CloseHandle(nul);
    return started ? std::chrono::duration<double, std::milli>(t1 - t0).count() : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::vector<std::string> images;
    for (int i = 2; i < argc; ++i) images.push_back(argv[i]);
    if (images.empty()) images = {"win32_process_query_bench.exe", "SendEmail.exe"};
    fhsw::WindowsProcessQuery query;
    for (const std::string& image : images) {
        std::vector<double> ms;
        bool found = false;
        for (int i = 0; i < rounds; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            found = query.isProcessRunning(image);
            const auto t1 = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("process query %-32s found=%d median %.3f ms, p90 %.3f ms (%d rounds)\n",
                    image.c_str(), found ? 1 : 0, ms[ms.size() / 2], ms[ms.size() * 9 / 10], rounds);
        // Far fewer starts of tasklist: each costs a process start.
        std::vector<double> lists;
        for (int i = 0; i < std::max(3, rounds / 20); ++i) {
            const double t = TimeTasklist(image);
            if (t >= 0) lists.push_back(t);
        }
        if (lists.empty()) {
            std::printf("  tasklist could not be started\n");
            continue;
        }
        std::sort(lists.begin(), lists.end());
        const double list = lists[lists.size() / 2];
        std::printf("  against tasklist /fi: median %.1f ms (%zu starts): tasklist/query %.1fx\n", list,
                    lists.size(), list / ms[ms.size() / 2]);
    }
    return 0;
}
