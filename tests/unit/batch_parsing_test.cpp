// The two parsers a runner-script line passes (the command interpreter and
// the C runtime), as used by fh-sendwarden-run, and the writing helpers
// checked against them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/batch_parsing.h"

namespace fhsw {
namespace {

using Args = std::vector<std::string>;

Args Rest(const std::string& line) {
    Args all = SplitCrtCommandLine("prog " + line);
    return Args(all.begin() + 1, all.end());
}

// The examples that Microsoft documents for the C runtime's argument rules.
TEST(CrtSplitting, DocumentedExamples) {
    EXPECT_EQ(Rest(R"("a b c" d e)"), (Args{"a b c", "d", "e"}));
    EXPECT_EQ(Rest(R"("ab\"c" "\\" d)"), (Args{"ab\"c", "\\", "d"}));
    EXPECT_EQ(Rest(R"(a\\\b d"e f"g h)"), (Args{R"(a\\\b)", "de fg", "h"}));
    EXPECT_EQ(Rest(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(Rest(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(Rest(R"(a"b"" c d)"), (Args{"ab\"", "c", "d"}));
    // Runs of quotes inside a quoted part.
    EXPECT_EQ(Rest(R"("a""b")"), (Args{"a\"b"}));
    EXPECT_EQ(Rest(R"("a"""""b")"), (Args{"a\"\"b"}));
    EXPECT_EQ(Rest("  \t"), Args{});
    EXPECT_EQ(Rest(R"(-cc "" -x)"), (Args{"-cc", "", "-x"}));
}

TEST(CrtSplitting, ProgramNameTakesQuotesOnly) {
    Args a = SplitCrtCommandLine(R"("C:\Send Email\"SendEmail.exe -f x)");
    EXPECT_EQ(a, (Args{R"(C:\Send Email\SendEmail.exe)", "-f", "x"}));
    EXPECT_EQ(CmdProgramToken(R"("/opt/a b/run",x -f)"), "/opt/a b/run");
    EXPECT_EQ(CmdProgramToken("AGAIN, BUT"), "AGAIN");
}

TEST(CrtWriting, QuotedAndBareValuesSplitBackToThemselves) {
    const std::vector<std::string> values = {
        "", "plain", "a b", "tab\there", "\"", "\\", "\\\\", "end\\", "end\\\\", "\\\"",
        "q\"in\"side", "a\\\\\"b", "\"\"", "x\\ y\\", "é ü 中"};
    for (const std::string& v : values) {
        EXPECT_EQ(Rest(CrtQuoted(v)), Args{v}) << v;
        EXPECT_EQ(Rest("password=" + CrtBare(v)), Args{"password=" + v}) << v;
    }
    EXPECT_EQ(CrtBare("plain\\"), "plain\\");
    EXPECT_EQ(CrtBare("pa ss"), "\"pa ss\"");
    EXPECT_EQ(CrtQuoted("end\\"), "\"end\\\\\"");
    EXPECT_EQ(CrtProgramPath("C:\\a\"b\\"), "\"C:\\ab\\\"");
}

// Whatever the writer produces, the interpreter's two phases give back the
// text it was given, with the quote flag carried from piece to piece.
TEST(CmdWriting, InterpreterPhasesRestoreTheText) {
    const std::vector<std::string> pieces = {
        "\"C:\\x\\SendEmail.exe\"", " -u \"say \\\"hi & bye\"", " -xp \"a&b|c<d>e(f)g^h%i!\"",
        " -o password=a&b^%", " \"", "^^&&||", " %% "};
    CmdLineWriter writer;
    std::string written, expected;
    for (const std::string& p : pieces) {
        written += writer.write(p);
        expected += p;
    }
    std::string expanded, processed, error;
    ASSERT_TRUE(ExpandBatchPercents(written, expanded, error)) << error;
    ASSERT_TRUE(ProcessCmdSpecials(expanded, processed, error)) << error << "\n" << written;
    EXPECT_EQ(processed, expected);
    EXPECT_FALSE(writer.inQuotes());
}

TEST(CmdReading, PercentsCaretsAndOperators) {
    std::string out, error;
    EXPECT_TRUE(ExpandBatchPercents("100%% sure %%%%", out, error));
    EXPECT_EQ(out, "100% sure %%");
    EXPECT_FALSE(ExpandBatchPercents("echo %PATH%", out, error));
    EXPECT_FALSE(ExpandBatchPercents("echo 50%", out, error));
    EXPECT_NE(error.find("variable"), std::string::npos);

    EXPECT_TRUE(ProcessCmdSpecials("a^&b \"c^&d|e\" ^^ ^\" f", out, error));
    EXPECT_EQ(out, "a&b \"c^&d|e\" ^ \" f");
    EXPECT_FALSE(ProcessCmdSpecials("prog > out.txt", out, error));
    EXPECT_FALSE(ProcessCmdSpecials("a | b", out, error));
    EXPECT_FALSE(ProcessCmdSpecials("a && b", out, error));
    EXPECT_FALSE(ProcessCmdSpecials("continued ^", out, error));
    EXPECT_NE(error.find("continuation"), std::string::npos);
    // After ^" the quote flag is unchanged, so the & is an operator.
    EXPECT_FALSE(ProcessCmdSpecials("^\"a&b", out, error));
}

TEST(RunnerLines, BuiltInsAndPrograms) {
    using Kind = RunnerLine::Kind;
    EXPECT_EQ(ParseRunnerLine("").kind, Kind::Blank);
    EXPECT_EQ(ParseRunnerLine(" \r").kind, Kind::Blank);
    EXPECT_EQ(ParseRunnerLine(":label").kind, Kind::Label);
    EXPECT_EQ(ParseRunnerLine("REM 100% & more").kind, Kind::Remark);

    RunnerLine off = ParseRunnerLine("@Echo OFF \r");
    EXPECT_EQ(off.kind, Kind::EchoState);
    EXPECT_FALSE(off.echoOn);
    EXPECT_FALSE(off.shown);
    EXPECT_EQ(ParseRunnerLine("echo").kind, Kind::EchoQuery);

    RunnerLine text = ParseRunnerLine("echo - Vireo404 !!! :) ");
    EXPECT_EQ(text.kind, Kind::EchoText);
    EXPECT_EQ(text.text, "- Vireo404 !!! :) ");
    EXPECT_EQ(ParseRunnerLine("echo - THANKS !!!\r -\r").text, "- THANKS !!! -");
    EXPECT_EQ(ParseRunnerLine("echo.").text, "");
    EXPECT_EQ(ParseRunnerLine("echo.off").text, "off");
    EXPECT_EQ(ParseRunnerLine("echo 5%% ^& \"a&b\"").text, "5% & \"a&b\"");

    RunnerLine title = ParseRunnerLine("TITLE FH-SENDWARDEN");
    EXPECT_EQ(title.kind, Kind::Title);
    EXPECT_EQ(title.text, "FH-SENDWARDEN");

    RunnerLine prog = ParseRunnerLine(R"("/opt/a b/SendEmail.exe" -u "x ^ & y" -o p=a^&b%%)");
    EXPECT_EQ(prog.kind, Kind::Program);
    EXPECT_EQ(prog.program, "/opt/a b/SendEmail.exe");
    EXPECT_EQ(prog.argv, (Args{"/opt/a b/SendEmail.exe", "-u", "x ^ & y", "-o", "p=a&b%"}));
    EXPECT_EQ(ParseRunnerLine("setup.exe /q").kind, Kind::Program);

    for (const char* bad : {"set X=1", "goto end", "if exist x echo y", "(echo a)", "echo %X%",
                            "prog > log", "call other.bat", "echo:x"}) {
        RunnerLine r = ParseRunnerLine(bad);
        EXPECT_EQ(r.kind, Kind::Unsupported) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
    EXPECT_EQ(ParseRunnerLine("SET X=1").error, "the command SET is not supported");
}

}  // namespace
}  // namespace fhsw
