// A stand-in for SendEmail.exe in the Windows tests, built with MinGW-w64.
//
// Like the real one (a program of narrow characters), it reads its arguments
// in the ANSI code page: a character that code page cannot hold arrives as a
// stand-in ("\u03a9mega" as "Omega"). It writes the arguments, as the C
// runtime split its command line, to the file named by FHSW_STUB_RECORD
// (UTF-8; each run appends one record: "ARGC <n>", then each argument on a
// line of its own as "<byte count>:<bytes>", then "END"), then sleeps
// FHSW_STUB_SLEEP_MS milliseconds, writes the real mail client's success
// line to the log file named after "-l", and exits with status 0. Without
// FHSW_STUB_RECORD it records nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// An argument as this program got it (ANSI code page) in UTF-16.
std::wstring Wide(const char* ansi) {
    std::wstring out(std::max(::MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0), 1) - 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, out.data(), static_cast<int>(out.size()) + 1);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::string text = "ARGC " + std::to_string(argc - 1) + "\n";
    for (int i = 1; i < argc; ++i) {
        const std::wstring wide = Wide(argv[i]);
        std::string arg(::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                              nullptr, nullptr), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), arg.data(),
                              static_cast<int>(arg.size()), nullptr, nullptr);
        text += std::to_string(arg.size()) + ":" + arg + "\n";
    }
    text += "END\n";
    const wchar_t* record = _wgetenv(L"FHSW_STUB_RECORD");
    if (FILE* f = record && *record ? _wfopen(record, L"ab") : nullptr) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    const wchar_t* sleep = _wgetenv(L"FHSW_STUB_SLEEP_MS");
    ::Sleep(sleep ? _wtoi(sleep) : 0);
    for (int i = 1; i + 1 < argc; ++i) {
        if (FILE* log = std::strcmp(argv[i], "-l") == 0 ? _wfopen(Wide(argv[i + 1]).c_str(), L"ab") : nullptr) {
            std::fputs("SendEmail.exe stand-in: Email was sent successfully!\r\n", log);
            std::fclose(log);
        }
    }
    return 0;
}
