// How the Windows launcher turns a launch text into the CreateProcessW
// command line. Portable: runs on any build machine.
#include <gtest/gtest.h>

#include <string>

#include "platform/windows/launch_plan.h"

namespace fhsw {
namespace {

constexpr const char* kCmd = "C:\\WINDOWS\\system32\\cmd.exe";

// cmd.exe, given "/s /c", removes the first and the last quote of the rest
// of the line and runs what is left: `runs`.
TEST(WindowsLaunchPlan, BatchScriptsRunInTheirFolderNamedOnlyByTheirFileName) {
    const struct { std::string text, folder, runs; } cases[] = {
        {"\"C:\\SendEmail\\SENDEMAIL-RUNNER.BAT\"", "C:\\SendEmail", "\".\\SENDEMAIL-RUNNER.BAT\""},
        {" \t\"D:\\Jobs & More\\run.cmd\" first \"second arg\"\r\n", "D:\\Jobs & More",
         "\".\\run.cmd\" first \"second arg\""},
        {"C:\\SendEmail\\sendemail-runner.bat", "C:\\SendEmail", "\".\\sendemail-runner.bat\""},
        {"\"C:\\run.bat\"", "C:\\", "\".\\run.bat\""},
        {"\"C:\\x y\\r.bat", "C:\\x y", "\".\\r.bat\""},  // an unclosed quote
        // A network folder cannot be the interpreter's; a bare name is searched for.
        {"\"\\\\server\\share\\x y\\Runner.Bat\"", "", "\"\\\\server\\share\\x y\\Runner.Bat\""},
        {"run.bat x", "", "\"run.bat\" x"},
    };
    for (const auto& c : cases) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(c.text, kCmd);
        EXPECT_EQ(plan.currentDirectory, c.folder);
        EXPECT_EQ(plan.commandLine, "\"" + std::string(kCmd) + "\" /v:off /s /c \"" + c.runs + "\"");
    }
}

// Only the program decides, not a script named among the arguments or a
// folder that looks like one. What the interpreter would expand, a line
// break that would end its command and run the rest as a second one, and
// nothing at all are refused.
TEST(WindowsLaunchPlan, OtherProgramsAreHandedOverAsTheyAreAndWhatCannotStartSafelyIsRefused) {
    const struct { std::string text, commandLine, error; } cases[] = {
        {"notepad.exe C:\\Send Email\\SENDEMAIL-LOG.txt", "notepad.exe C:\\Send Email\\SENDEMAIL-LOG.txt", ""},
        {"  notepad.exe C:\\x\\run.bat \n", "notepad.exe C:\\x\\run.bat", ""},
        {"\"C:\\tools.bat\\SendEmail.exe\" -f a@b", "\"C:\\tools.bat\\SendEmail.exe\" -f a@b", ""},
        {"C:\\x\\run.batch", "C:\\x\\run.batch", ""},
        {"\"\\\\server\\%USERNAME%\\SENDEMAIL-RUNNER.BAT\"", "", "would expand the %"},
        {"\"C:\\x\\100%.bat\"", "", "would expand the %"},
        {"\"C:\\x\\r.bat\"\r\ndel C:\\x\\*", "", "line break"},
        {std::string("\"C:\\x\\r.bat\"") + '\0' + "calc", "", "line break"},
        {"", "", "empty command"},
        {"\"\" notepad.exe", "", "empty command"},
    };
    for (const auto& c : cases) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(c.text, kCmd);
        EXPECT_EQ(plan.commandLine, c.commandLine) << c.text;
        EXPECT_FALSE(plan.throughInterpreter) << c.text;
        EXPECT_EQ(plan.error.find(c.error) != std::string::npos && plan.error.empty() == c.error.empty(), true)
            << c.text << ": " << plan.error;
    }
}

}  // namespace
}  // namespace fhsw
