// Cost of one process-list look on Windows: times
// WindowsProcessQuery::isProcessRunning for an image that runs and one that
// does not. Prints plain figures.
//
// Usage: win32_process_query_bench [ROUNDS]   (default 200)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/windows/process_query_windows.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    fhsw::WindowsProcessQuery query;
    for (const char* image : {"win32_process_query_bench.exe", "SendEmail.exe"}) {
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
                    image, found ? 1 : 0, ms[ms.size() / 2], ms[ms.size() * 9 / 10], rounds);
    }
    return 0;
}
