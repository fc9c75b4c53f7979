// The portable rules of the Windows platform code: how a launch text becomes
// the CreateProcessW command line (checked against a model of what the
// command interpreter does with "/v:off /s /c"), and how the character that a code
// page cannot hold is found and named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/code_point_check.h"
#include "platform/windows/launch_plan.h"

namespace fhsw {
namespace {

constexpr const char* kComSpec = "C:\\WINDOWS\\system32\\cmd.exe";

// What cmd.exe runs for `<program> /v:off /s /c <rest>`: the text after
// "/c " with its first and its last quote removed, the rest left as it stands.
std::string InterpreterRuns(const std::string& commandLine) {
    const std::string marker = " /v:off /s /c ";
    const auto at = commandLine.find(marker);
    if (at == std::string::npos) return "<no /v:off /s /c>";
    std::string rest = commandLine.substr(at + marker.size());
    const auto first = rest.find('"');
    const auto last = rest.rfind('"');
    if (first != 0 || last == first) return "<not enclosed in quotes>";
    rest.erase(last, 1);
    rest.erase(first, 1);
    return rest;
}

TEST(WindowsLaunchPlan, BatchScriptsRunInTheirFolderNamedOnlyByTheirFileName) {
    const struct { std::string text, program, folder, runs; } cases[] = {
        {"\"C:\\SendEmail\\SENDEMAIL-RUNNER.BAT\"", "C:\\SendEmail\\SENDEMAIL-RUNNER.BAT",
         "C:\\SendEmail", "\".\\SENDEMAIL-RUNNER.BAT\""},
        {"\"C:\\Send Email (old)\\SENDEMAIL-RUNNER.BAT\"",
         "C:\\Send Email (old)\\SENDEMAIL-RUNNER.BAT", "C:\\Send Email (old)",
         "\".\\SENDEMAIL-RUNNER.BAT\""},
        {"\"D:\\Jobs & More\\run.cmd\" first \"second arg\"", "D:\\Jobs & More\\run.cmd",
         "D:\\Jobs & More", "\".\\run.cmd\" first \"second arg\""},
        {"C:\\SendEmail\\sendemail-runner.bat", "C:\\SendEmail\\sendemail-runner.bat",
         "C:\\SendEmail", "\".\\sendemail-runner.bat\""},
        {"\"C:\\%TEMP%\\a!b^c&d(e) \u00e9\\SENDEMAIL-RUNNER.BAT\"",
         "C:\\%TEMP%\\a!b^c&d(e) \u00e9\\SENDEMAIL-RUNNER.BAT", "C:\\%TEMP%\\a!b^c&d(e) \u00e9",
         "\".\\SENDEMAIL-RUNNER.BAT\""},
        {"\"C:\\run.bat\"", "C:\\run.bat", "C:\\", "\".\\run.bat\""},
        // A network folder cannot be the interpreter's; a bare name is searched for.
        {"\"\\\\server\\share\\x y\\Runner.Bat\"", "\\\\server\\share\\x y\\Runner.Bat", "",
         "\"\\\\server\\share\\x y\\Runner.Bat\""},
        {"run.bat x", "run.bat", "", "\"run.bat\" x"},
    };
    for (const auto& c : cases) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(c.text, kComSpec);
        EXPECT_TRUE(plan.error.empty()) << c.text;
        EXPECT_TRUE(plan.throughInterpreter) << c.text;
        EXPECT_EQ(plan.program, c.program);
        EXPECT_EQ(plan.currentDirectory, c.folder);
        EXPECT_EQ(plan.commandLine.rfind("\"C:\\WINDOWS\\system32\\cmd.exe\" /v:off /s /c ", 0), 0u)
            << plan.commandLine;
        EXPECT_EQ(InterpreterRuns(plan.commandLine), c.runs) << plan.commandLine;
    }
    // The exact line for the usual case.
    EXPECT_EQ(PlanWindowsLaunch(cases[0].text, kComSpec).commandLine,
              "\"C:\\WINDOWS\\system32\\cmd.exe\" /v:off /s /c \"\".\\SENDEMAIL-RUNNER.BAT\"\"");
    // What the interpreter would expand is refused, never started.
    for (const char* text : {"\"\\\\server\\%USERNAME%\\SENDEMAIL-RUNNER.BAT\"",
                             "\"C:\\x\\100%.bat\""}) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(text, kComSpec);
        EXPECT_NE(plan.error.find("would expand the %"), std::string::npos) << text;
        EXPECT_TRUE(plan.commandLine.empty());
    }
}

TEST(WindowsLaunchPlan, OtherProgramsAreHandedOverAsTheyAre) {
    const std::string notepad = "notepad.exe C:\\Send Email\\SENDEMAIL-LOG.txt";
    WindowsLaunchPlan plan = PlanWindowsLaunch(notepad, kComSpec);
    EXPECT_TRUE(plan.error.empty());
    EXPECT_FALSE(plan.throughInterpreter);
    EXPECT_TRUE(plan.currentDirectory.empty());
    EXPECT_EQ(plan.program, "notepad.exe");
    EXPECT_EQ(plan.commandLine, notepad);

    // Only the program decides, not a script named among the arguments or a
    // folder that looks like one.
    plan = PlanWindowsLaunch("notepad.exe C:\\x\\run.bat", kComSpec);
    EXPECT_FALSE(plan.throughInterpreter);
    plan = PlanWindowsLaunch("\"C:\\tools.bat\\SendEmail.exe\" -f a@b", kComSpec);
    EXPECT_FALSE(plan.throughInterpreter);
    EXPECT_EQ(plan.program, "C:\\tools.bat\\SendEmail.exe");
    EXPECT_EQ(plan.commandLine, "\"C:\\tools.bat\\SendEmail.exe\" -f a@b");
    plan = PlanWindowsLaunch("C:\\x\\run.batch", kComSpec);
    EXPECT_FALSE(plan.throughInterpreter);
}

TEST(WindowsLaunchPlan, SurroundingBlanksAndLineEndsAreNotPartOfTheCommand) {
    const WindowsLaunchPlan plan = PlanWindowsLaunch(" \t\"C:\\x\\r.BAT\"\r\n", kComSpec);
    EXPECT_TRUE(plan.throughInterpreter);
    EXPECT_EQ(InterpreterRuns(plan.commandLine), "\".\\r.BAT\"");
    EXPECT_EQ(plan.currentDirectory, "C:\\x");
    EXPECT_EQ(PlanWindowsLaunch("  notepad.exe x.txt \n", kComSpec).commandLine,
              "notepad.exe x.txt");
}

TEST(WindowsLaunchPlan, RefusesWhatCannotBeStartedSafely) {
    for (const std::string text : {"", "   ", "\r\n", "\"\"", "\"\" notepad.exe"}) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(text, kComSpec);
        EXPECT_EQ(plan.error, "empty command") << "[" << text << "]";
        EXPECT_TRUE(plan.commandLine.empty());
    }
    // A line break inside would end the interpreter's command and run the
    // rest as a second one.
    const std::vector<std::string> withBreaks = {"\"C:\\x\\r.bat\"\r\ndel C:\\x\\*",
                                                 "\"C:\\x\\r.bat\"\ncalc.exe",
                                                 std::string("\"C:\\x\\r.bat\"") + '\0' + "calc"};
    for (const std::string& text : withBreaks) {
        const WindowsLaunchPlan plan = PlanWindowsLaunch(text, kComSpec);
        EXPECT_FALSE(plan.error.empty());
        EXPECT_TRUE(plan.commandLine.empty());
    }
}

TEST(WindowsLaunchPlan, InterpreterPathIsQuotedOnce) {
    const WindowsLaunchPlan plan =
        PlanWindowsLaunch("\"C:\\x\\r.bat\"", "\"C:\\Program Files\\Shell\\cmd.exe\"");
    EXPECT_EQ(plan.commandLine.rfind("\"C:\\Program Files\\Shell\\cmd.exe\" /v:off /s /c ", 0), 0u)
        << plan.commandLine;
    // An unclosed quote still names the script.
    EXPECT_EQ(PlanWindowsLaunch("\"C:\\x y\\r.bat", kComSpec).program, "C:\\x y\\r.bat");
}

TEST(CodePointLabel, UpperCaseHexWithAtLeastFourDigits) {
    EXPECT_EQ(CodePointLabel(0x41), "U+0041");
    EXPECT_EQ(CodePointLabel(0xE9), "U+00E9");
    EXPECT_EQ(CodePointLabel(0xFF02), "U+FF02");
    EXPECT_EQ(CodePointLabel(0x1F600), "U+1F600");
    EXPECT_EQ(CodePointLabel(0x10FFFF), "U+10FFFF");
    EXPECT_EQ(CodePointLabel(0), "U+0000");
}

// A stand-in for a single-byte code page: Latin-1 and the euro sign.
bool FitsLatin1AndEuro(std::u16string_view units) {
    return units.size() == 1 && (units[0] <= 0xFF || units[0] == 0x20AC);
}

TEST(FirstCharacterNotFitting, FindsTheFirstCharacterWholeSurrogatePairsIncluded) {
    using Text = std::u16string_view;
    EXPECT_FALSE(FirstCharacterNotFitting(Text(u""), FitsLatin1AndEuro));
    EXPECT_FALSE(FirstCharacterNotFitting(Text(u"caf\u00e9 \u20ac 5"), FitsLatin1AndEuro));
    EXPECT_EQ(FirstCharacterNotFitting(Text(u"-f \uFF02a\uFF02 \u2019"), FitsLatin1AndEuro),
              char32_t(0xFF02));

    // An emoji is one character of two code units, offered to the code page
    // together and named by its code point.
    std::vector<std::size_t> sizes;
    const auto pair = FirstCharacterNotFitting(Text(u"ok \U0001F600 \uFF02"),
                                               [&](std::u16string_view units) {
                                                   sizes.push_back(units.size());
                                                   return FitsLatin1AndEuro(units);
                                               });
    EXPECT_EQ(pair, char32_t(0x1F600));
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 1, 1, 2}));

    // Lone surrogates stand for themselves, also at the very end.
    const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
    EXPECT_EQ(FirstCharacterNotFitting(Text(loneHigh), FitsLatin1AndEuro), char32_t(0xD83D));
    const char16_t highAtEnd[] = {u'a', 0xD83D, 0};
    EXPECT_EQ(FirstCharacterNotFitting(Text(highAtEnd), FitsLatin1AndEuro), char32_t(0xD83D));
    const char16_t loneLow[] = {u'a', 0xDE00, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(FirstCharacterNotFitting(Text(loneLow), FitsLatin1AndEuro), char32_t(0xDE00));
}

}  // namespace
}  // namespace fhsw
