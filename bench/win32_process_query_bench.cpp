// Cost of one process-list look on Windows: times
// WindowsProcessQuery::isProcessRunning for each image name given (an image
// that runs, such as this program's own, and one that does not). Prints
// plain figures.
//
// Usage: win32_process_query_bench [ROUNDS [IMAGE...]]
//        (default 200 rounds, images "win32_process_query_bench.exe" and
//        "SendEmail.exe")
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/windows/process_query_windows.h"

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
    }
    return 0;
}
