// The two parsers a runner-script line passes (the command interpreter and
// the C runtime), as used by fh-sendwarden-run, and the writing helpers
// checked against them. The whole chain, writer to program, is exercised by
// the round-trip test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/batch_parsing.h"
#include "platform/command_line.h"

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
    // Runs of quotes inside a quoted part, blanks only, an empty argument.
    EXPECT_EQ(Rest(R"("a""b")"), (Args{"a\"b"}));
    EXPECT_EQ(Rest(R"("a"""""b")"), (Args{"a\"\"b"}));
    EXPECT_EQ(Rest("  \t"), Args{});
    EXPECT_EQ(Rest(R"(-cc "" -x)"), (Args{"-cc", "", "-x"}));
    // The program name: quotes group and go, backslashes are plain.
    EXPECT_EQ(SplitCrtCommandLine(R"("C:\Send Email\"SendEmail.exe -f x)"),
              (Args{R"(C:\Send Email\SendEmail.exe)", "-f", "x"}));
    EXPECT_EQ(CmdProgramToken(R"("/opt/a b/run",x -f)"), "/opt/a b/run");
    EXPECT_EQ(CmdProgramToken("AGAIN, BUT"), "AGAIN");
}

TEST(CrtWriting, QuotedAndBareValuesSplitBackToThemselves) {
    const char* values[] = {"", "plain", "a b", "tab\there", "\"", "\\", "\\\\", "end\\", "end\\\\",
                            "\\\"", "q\"in\"side", "a\\\\\"b", "\"\"", "x\\ y\\", "é ü 中"};
    for (const std::string v : values) {
        EXPECT_EQ(Rest(CrtQuoted(v)), Args{v}) << v;
        EXPECT_EQ(Rest("password=" + CrtBare(v)), Args{"password=" + v}) << v;
    }
}

TEST(CmdReading, PercentsCaretsAndOperators) {
    std::string out, error;
    EXPECT_TRUE(ExpandBatchPercents("100%% sure %%%%", out, error));
    EXPECT_EQ(out, "100% sure %%");
    EXPECT_FALSE(ExpandBatchPercents("echo 50%", out, error));
    EXPECT_FALSE(ExpandBatchPercents("echo %PATH%", out, error));
    EXPECT_NE(error.find("variable"), std::string::npos);

    EXPECT_TRUE(ProcessCmdSpecials("a^&b \"c^&d|e\" ^^ ^\" f", out, error));
    EXPECT_EQ(out, "a&b \"c^&d|e\" ^ \" f");
    // After ^" the quote flag is unchanged, so the & is an operator.
    for (const char* refused : {"prog > out.txt", "a | b", "a && b", "^\"a&b", "continued ^"})
        EXPECT_FALSE(ProcessCmdSpecials(refused, out, error)) << refused;
    EXPECT_NE(error.find("continuation"), std::string::npos);
}

// The writer's output read back by the interpreter's special-character phase gives the
// C-runtime text again; a piece with a literal quote has no quote that toggles anything.
TEST(CmdWriting, PiecesReadBackAndLiteralQuotesNeverToggle) {
    const struct { const char* piece; const char* written; } cases[] = {
        {R"( -u "a & b")", R"( -u "a & b")"},
        {R"( -o password=a&b|c<d>e(f)g^h)", R"( -o password=a^&b^|c^<d^>e^(f^)g^^h)"},
        {R"( -u "say \"hi & bye")", R"( -u ^"say \^"hi ^& bye^")"},
        {R"( -o reply-to=a\\\"b&c)", R"( -o reply-to=a\\\^"b^&c)"},
        {R"( -u "50% \\")", R"( -u "50%% \\")"},
        {R"( -u "odd)", R"( -u ^"odd)"},  // unpaired: never leave the flag on
    };
    for (const auto& c : cases) {
        CmdLineWriter writer;
        const std::string written = writer.write(c.piece);
        EXPECT_EQ(written, c.written);
        std::string percents, back, error;
        ASSERT_TRUE(ExpandBatchPercents(written, percents, error)) << error;
        ASSERT_TRUE(ProcessCmdSpecials(percents, back, error)) << c.piece << ": " << error;
        EXPECT_EQ(back, c.piece);
    }
}

// What the interpreter test does not reach through fh-sendwarden-run.
TEST(RunnerLines, KindsAndUnsupportedLines) {
    using Kind = RunnerLine::Kind;
    const std::pair<const char*, Kind> kinds[] = {
        {"", Kind::Blank}, {" \r", Kind::Blank}, {":label", Kind::Label},
        {"REM 100% & more", Kind::Remark}, {"@Echo OFF \r", Kind::EchoState},
        {"echo", Kind::EchoQuery}, {"echo.off", Kind::EchoText}, {"TITLE x", Kind::Title},
        {"setup.exe /q", Kind::Program}};
    for (const auto& [line, kind] : kinds) EXPECT_EQ(ParseRunnerLine(line).kind, kind) << line;
    EXPECT_EQ(ParseRunnerLine("echo.off").text, "off");
    for (const char* bad : {"set X=1", "goto end", "if exist x echo y", "(echo a)", "echo %X%",
                            "prog > log", "call other.bat", "echo:x"}) {
        const RunnerLine r = ParseRunnerLine(bad);
        EXPECT_EQ(r.kind, Kind::Unsupported) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
}

}  // namespace
}  // namespace fhsw
