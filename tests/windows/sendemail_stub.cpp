// A stand-in for SendEmail.exe in the Windows tests, built with MinGW-w64.
//
// Like the real one (a program of narrow characters), it reads its arguments
// in the ANSI code page: a character that code page cannot hold arrives as a
// stand-in ("\u03a9mega" as "Omega"). It writes the arguments, as the C
// runtime split its command line, to the file named by FHSW_STUB_RECORD
// (UTF-8; each run appends one record: "ARGC <n>", then each argument on a
// line of its own as "<byte count>:<bytes>", then "END"), then sleeps
// FHSW_STUB_SLEEP_MS milliseconds, writes one line to the log file named
// after "-l" as the real mail client does (its success line, or an
// "ERROR => " line when the exit status is not 0), and exits with
// FHSW_STUB_EXIT (default 0). Without FHSW_STUB_RECORD it records nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

std::wstring Wide(const char* ansi) {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi, -1, out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

long EnvNumber(const wchar_t* name, long def) {
    const wchar_t* v = _wgetenv(name);
    return v && *v ? std::wcstol(v, nullptr, 10) : def;
}

}  // namespace

int main(int argc, char** argv) {
    if (const wchar_t* record = _wgetenv(L"FHSW_STUB_RECORD"); record && *record) {
        std::string text = "ARGC " + std::to_string(argc - 1) + "\n";
        for (int i = 1; i < argc; ++i) {
            const std::string arg = Utf8(Wide(argv[i]));
            text += std::to_string(arg.size()) + ":" + arg + "\n";
        }
        text += "END\n";
        if (FILE* f = _wfopen(record, L"ab")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    const long sleepMs = EnvNumber(L"FHSW_STUB_SLEEP_MS", 0);
    if (sleepMs > 0) ::Sleep(static_cast<DWORD>(sleepMs));
    const int status = static_cast<int>(EnvNumber(L"FHSW_STUB_EXIT", 0));
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-l") != 0) continue;
        const char* line = status == 0 ? "SendEmail.exe stand-in: Email was sent successfully!\r\n"
                                       : "SendEmail.exe stand-in: ERROR => the stand-in was told to fail\r\n";
        if (FILE* f = _wfopen(Wide(argv[i + 1]).c_str(), L"ab")) {
            std::fwrite(line, 1, std::strlen(line), f);
            std::fclose(f);
        }
        break;
    }
    return status;
}
