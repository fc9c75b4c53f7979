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
    // Closing the handles leaves the started programs running: a runner
    // script outlives the program that launched it.
    for (auto& [id, launch] : launches_) {
        ::CloseHandle(launch.process);
        if (launch.job) ::CloseHandle(launch.job);
    }
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
    // started visible gets a console of its own, not this program's. It
    // starts suspended so that it is in its job before it can start anything.
    const DWORD flags = (visible ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW) | CREATE_SUSPENDED;

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
    // The job holds everything the launch starts (the interpreter, the mail
    // client), so that stop() can end them all. Without a job (this program
    // may run in a job that forbids nesting) only the launched process itself
    // can be stopped.
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job && !::AssignProcessToJobObject(job, info.hProcess)) {
        ::CloseHandle(job);
        job = nullptr;
    }
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);

    std::lock_guard<std::mutex> lock(mutex_);
    const LaunchId id = ++lastId_;
    launches_[id] = Launch{info.hProcess, job};
    LaunchResult result;
    result.id = id;
    return result;
}

LaunchState WindowsLauncher::state(LaunchId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = launches_.find(id);
    if (it == launches_.end()) return {};
    const DWORD wait = ::WaitForSingleObject(it->second.process, 0);
    if (wait == WAIT_TIMEOUT) return {true, -1};
    DWORD code = 0;
    if (wait != WAIT_OBJECT_0 || !::GetExitCodeProcess(it->second.process, &code)) return {false, -1};
    return {false, static_cast<int>(code)};
}

void WindowsLauncher::stop(LaunchId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = launches_.find(id);
    if (it == launches_.end()) return;
    if (::WaitForSingleObject(it->second.process, 0) != WAIT_TIMEOUT) return;
    if (it->second.job)
        ::TerminateJobObject(it->second.job, 1);
    else
        ::TerminateProcess(it->second.process, 1);
}

}  // namespace fhsw
