// fh-sendwarden-run on small scripts: what it prints, what it starts, its
// exit status and its refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "compose/sendemail_contract.h"
#include "runner_test_support.h"

namespace fhsw::test {
namespace {

std::string Canonical(const std::string& path) { return std::filesystem::canonical(path).string(); }

TEST(RunnerInterpreter, BannerIsPrintedLikeTheCommandInterpreter) {
    TempFolder dir;
    ProcessResult r = RunScript(dir.path(), std::string(BAT_FILE_TOP_COMMANDS_TB) + "\r\n");
    const std::string prompt = "\n" + Canonical(dir.path()) + ">";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, prompt + "TITLE FH-SENDWARDEN\n" + prompt + "echo off\n" +
                         std::string(62, '=') + "\n"
                         "= !!! FERN-HOLLOW - FH-SENDWARDEN - SENDEMAIL-RUNNER.BAT !!! =\n" +
                         std::string(62, '=') + "\n"
                         "\n"
                         "- Automated Runner - SendEmail.exe - Command Line Email Generator / Sender -\n"
                         "- !!! REQUIRES SMTP SERVER !!! -\n"
                         "- !!! SendEmail.exe is ONLY an Email Client !!! -\n"
                         "- DON'T MANUALLY EDIT THIS FILE -\n"
                         "- USE FH-SENDWARDEN TO CONFIGURE -\n"
                         "- IF YOU CAN'T FIND WHAT YOUR LOOKING FOR, PLEASE CONTACT ME !!! -\n"
                         "- THANKS FOR USING FERN-HOLLOW SOFTWARE !!! -\n"
                         "- Vireo404 !!! :) \n"
                         "\n" +
                         std::string(29, '=') + "\n= !!! SENDING EMAIL NOW !!! =\n" +
                         std::string(29, '=') + "\n\n\n\n");
}

TEST(RunnerInterpreter, EchoStatesRemarksPercentsCaretsAndLoneCr) {
    TempFolder dir;
    ProcessResult r = RunScript(dir.path(),
                                "@echo off\r\n"
                                "echo 100%% ^& \"a&b\" ^^ x\r\n"
                                "REM ignored & 50%\r\n"
                                "echo.\r\n"
                                "echo lone\rcr\n"
                                "echo\r\n"
                                "echo on\r\n"
                                "@echo no prompt\r\n"
                                "echo shown\r\n"
                                "rem note\r\n"
                                "\r\n"
                                "echo last");
    const std::string prompt = "\n" + Canonical(dir.path()) + ">";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "100% & \"a&b\" ^ x\n"
                     "\n"
                     "lonecr\n"
                     "ECHO is off.\n"
                     "no prompt\n" +
                         prompt + "echo shown\nshown\n" + prompt + "rem note\n" + prompt +
                         "echo last\nlast\n");
    EXPECT_EQ(r.out.find('\033'), std::string::npos);  // no title escape without a terminal
}

TEST(RunnerInterpreter, StartsProgramsAndReturnsTheLastStatus) {
    TempFolder dir;
    std::filesystem::create_directories(dir.path() + "/my tools");
    WriteFile(dir.path() + "/my tools/args.sh", "#!/bin/sh\nprintf '[%s]' \"$@\"\necho\nexit 7\n", true);
    WriteFile(dir.path() + "/zero.sh", "#!/bin/sh\necho zero\n", true);
    const std::string quoted = "\"" + dir.path() + "/my tools/args.sh\"";

    ProcessResult r = RunScript(dir.path(), "@echo off\r\n" + quoted +
                                                " \"x y\" a\\\"b\\\"c 50%% ^&c \"d&e\" \"\" tail\\\r\n");
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "[x y][a\"b\"c][50%][&c][d&e][][tail\\]\n");

    r = RunScript(dir.path(), "@echo off\r\n" + quoted + "\r\n" + dir.path() + "/zero.sh\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[]\nzero\n");

    r = RunScript(dir.path(), "@echo off\r\n" + dir.path() + "/zero.sh\r\n" + quoted + " q\r\n");
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "zero\n[q]\n");
}

TEST(RunnerInterpreter, MissingProgramIsReportedAndFails) {
    TempFolder dir;
    const std::string program = dir.path() + "/no such/SendEmail.exe";
    ProcessResult r = RunScript(dir.path(), "@echo off\r\n\"" + program + "\" -f x\r\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "fh-sendwarden-run: line 2: cannot run " + program +
                         ": No such file or directory\n");
}

// The placeholder saved as a runner script: its lone LF puts "AGAIN, ..." on
// a line of its own, which names no program.
TEST(RunnerInterpreter, PlaceholderScriptStartsNothing) {
    TempFolder dir;
    ProcessResult r = RunScript(dir.path(), std::string(OUTPUT_COMMAND_PLACEHOLDER) + "\r\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "fh-sendwarden-run: line 6: cannot run AGAIN: No such file or directory\n");
}

TEST(RunnerInterpreter, UnsupportedLinesAreNamedAndNothingRuns) {
    TempFolder dir;
    WriteFile(dir.path() + "/zero.sh", "#!/bin/sh\necho zero\n", true);
    ProcessResult r = RunScript(dir.path(), "@echo off\r\necho first\r\nset X=1\r\necho %X%\r\n" +
                                                dir.path() + "/zero.sh > log.txt\r\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "fh-sendwarden-run: line 3: the command SET is not supported: set X=1\n"
              "fh-sendwarden-run: line 4: variable expansion (%) is not supported: echo %X%\n"
              "fh-sendwarden-run: line 5: redirection, pipes and command chaining (& | < >) are "
              "not supported: " + dir.path() + "/zero.sh > log.txt\n");

    r = RunProcess({RunnerPath()}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
    r = RunProcess({RunnerPath(), dir.path() + "/absent.bat"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace fhsw::test
