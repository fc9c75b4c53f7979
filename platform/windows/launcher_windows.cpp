#include "platform/windows/launcher_windows.h"

#include <windows.h>

#include "platform/windows/launch_plan.h"
#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

// The command interpreter: %ComSpec%, or cmd.exe in the system folder.
std::wstring CommandInterpreter() {
    std::wstring value(MAX_PATH, L'\0');
    DWORD n = ::GetEnvironmentVariableW(L"ComSpec", value.data(), static_cast<DWORD>(value.size()));
    if (n >= value.size()) {
        value.resize(n);
        n = ::GetEnvironmentVariableW(L"ComSpec", value.data(), static_cast<DWORD>(value.size()));
    }
    if (n > 0 && n < value.size()) {
        value.resize(n);
        return value;
    }
    std::wstring folder(MAX_PATH, L'\0');
    const UINT len = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (len == 0 || len >= folder.size()) return L"C:\\Windows\\System32\\cmd.exe";
    folder.resize(len);
    return folder + L"\\cmd.exe";
}

// The interpreter would start and then fail on a missing script: look first,
// so that the user hears of it. Bare names are left to the interpreter's
// search.
bool CheckScript(const std::string& path, std::string& error) {
    if (path.find_first_of("\\/:") == std::string::npos) return true;
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        error = "cannot start " + path + ": " + SystemMessage(code);
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = "cannot start " + path + ": it is a folder";
        return false;
    }
    return true;
}

}  // namespace

WindowsLauncher::~WindowsLauncher() {
    for (void* process : processes_) ::CloseHandle(process);
}

LaunchResult WindowsLauncher::launch(const std::string& command, bool visible) {
    const std::wstring interpreter = CommandInterpreter();
    const WindowsLaunchPlan plan = PlanWindowsLaunch(command, Narrow(interpreter));
    if (!plan.error.empty()) return {false, plan.error};

    std::string error;
    if (plan.throughInterpreter && !CheckScript(plan.program, error)) return {false, error};

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = visible ? SW_SHOWNORMAL : SW_HIDE;
    // A console program started hidden gets no console window at all; one
    // started visible gets a console of its own, not this program's.
    const DWORD flags = visible ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW;

    std::wstring commandLine = Widen(plan.commandLine);  // CreateProcessW may write to it
    PROCESS_INFORMATION info{};
    // A script runs in its own folder, named only by its file name: see launch_plan.h.
    const std::wstring folder = Widen(plan.currentDirectory);
    const BOOL started = ::CreateProcessW(plan.throughInterpreter ? interpreter.c_str() : nullptr,
                                          commandLine.data(), nullptr, nullptr, FALSE, flags,
                                          nullptr, folder.empty() ? nullptr : folder.c_str(),
                                          &startup, &info);
    if (!started) {
        const DWORD code = ::GetLastError();
        const std::string what = plan.throughInterpreter ? Narrow(interpreter) : plan.program;
        return {false, "cannot start " + what + ": " + SystemMessage(code)};
    }
    ::CloseHandle(info.hThread);

    std::lock_guard<std::mutex> lock(mutex_);
    closeEnded();
    processes_.push_back(info.hProcess);
    return {};
}

bool WindowsLauncher::anyLaunchedRunning() {
    std::lock_guard<std::mutex> lock(mutex_);
    closeEnded();
    return !processes_.empty();
}

void WindowsLauncher::closeEnded() {
    for (auto it = processes_.begin(); it != processes_.end();) {
        // Signalled: ended. A handle that cannot be waited on counts as ended too.
        if (::WaitForSingleObject(*it, 0) != WAIT_TIMEOUT) {
            ::CloseHandle(*it);
            it = processes_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace fhsw
