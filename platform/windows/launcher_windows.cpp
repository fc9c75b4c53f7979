#include "platform/windows/launcher_windows.h"

#include <windows.h>

#include "platform/windows/launch_plan.h"

namespace fhsw {

LaunchResult WindowsLauncher::launch(const std::string& command, bool visible) {
    // cmd.exe of the system folder: the quoting of launch_plan.h is its own.
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring interpreter = std::wstring(system, length < MAX_PATH ? length : 0) + L"\\cmd.exe";
    const WindowsLaunchPlan plan = PlanWindowsLaunch(command, Narrow(interpreter));
    if (!plan.error.empty()) return {false, plan.error};
    // The interpreter would start and then fail on a missing script: looked
    // at first, so that the user hears of it. A bare name is left to the
    // interpreter's search.
    if (plan.throughInterpreter && plan.program.find_first_of("\\/:") != std::string::npos) {
        const DWORD attributes = ::GetFileAttributesW(Widen(plan.program).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return {false, "cannot start " + plan.program + ": " + SystemMessage(::GetLastError())};
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {false, "cannot start " + plan.program + ": it is a folder"};
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = visible ? SW_SHOWNORMAL : SW_HIDE;
    // A console program started hidden gets no console window at all; one
    // started visible gets a console of its own, not this program's. It
    // starts suspended so that it is in its job before it can start anything.
    const DWORD flags = (visible ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW) | CREATE_SUSPENDED;
    std::wstring commandLine = Widen(plan.commandLine);  // CreateProcessW may write to it
    const std::wstring folder = Widen(plan.currentDirectory);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(plan.throughInterpreter ? interpreter.c_str() : nullptr, commandLine.data(), nullptr,
                          nullptr, FALSE, flags, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return {false, "cannot start " + (plan.throughInterpreter ? Narrow(interpreter) : plan.program) + ": " +
                           SystemMessage(::GetLastError())};
    // The job holds everything the launch starts (the interpreter, the mail
    // client), so that stop() can end them all. Without a job (this program
    // may run in a job that forbids nesting) only the launched process itself
    // can be stopped.
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (job && !::AssignProcessToJobObject(job.get(), info.hProcess)) job.reset();
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    launches_[++lastId_] = Launch{UniqueHandle(info.hProcess), std::move(job)};
    return {true, {}, lastId_};
}

LaunchState WindowsLauncher::state(LaunchId id) {
    const auto it = launches_.find(id);
    if (it == launches_.end()) return {};
    const DWORD wait = ::WaitForSingleObject(it->second.process.get(), 0);
    if (wait == WAIT_TIMEOUT) return {true, -1};
    DWORD code = 0;
    if (wait != WAIT_OBJECT_0 || !::GetExitCodeProcess(it->second.process.get(), &code)) return {false, -1};
    return {false, static_cast<int>(code)};
}

void WindowsLauncher::stop(LaunchId id) {
    const auto it = launches_.find(id);
    if (it == launches_.end() || ::WaitForSingleObject(it->second.process.get(), 0) != WAIT_TIMEOUT) return;
    if (it->second.job)
        ::TerminateJobObject(it->second.job.get(), 1);
    else
        ::TerminateProcess(it->second.process.get(), 1);
}

}  // namespace fhsw
