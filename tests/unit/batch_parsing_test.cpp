// How a Windows program's C runtime splits its command line, as the Linux
// launcher and fh-sendwarden-run split theirs. The command interpreter's side
// is checked end to end: lines that runner scripts hold and lines they never
// hold by the interpreter's tests, the writing side by the round trips
// (fh-sendwarden-run here, cmd.exe under Wine).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.h"

namespace fhsw {
namespace {

using Args = std::vector<std::string>;

// Microsoft's documented examples of the C runtime's rules, runs of quotes
// inside a quoted part, and the program name's own rules.
TEST(CrtSplitting, DocumentedExamples) {
    const std::pair<const char*, Args> cases[] = {
        {R"(p "a b c" d e)", {"p", "a b c", "d", "e"}},
        {R"(p "ab\"c" "\\" d)", {"p", "ab\"c", "\\", "d"}},
        {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
        {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
        {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
        {R"(p a"b"" c d)", {"p", "ab\"", "c", "d"}},
        {R"(p "a""b")", {"p", "a\"b"}},
        {"p -cc \"\" -x \t", {"p", "-cc", "", "-x"}},
        {R"("C:\Send Email\"SendEmail.exe -f x)", {R"(C:\Send Email\SendEmail.exe)", "-f", "x"}}};
    for (const auto& [line, args] : cases) EXPECT_EQ(SplitCrtCommandLine(line), args) << line;
}

}  // namespace
}  // namespace fhsw
