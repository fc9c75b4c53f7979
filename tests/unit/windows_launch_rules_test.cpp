// How the Windows launcher turns a launch text into the CreateProcessW
// command line. Portable: runs on any build machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/code_point_check.h"
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
