// fh-sendwarden-run on small scripts: what it prints, what it starts, its
// exit status and its refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>


#include <filesystem>
#include <string>

#include "compose/sendemail_contract.h"
#include "runner_test_support.h"

namespace fhsw::test {
namespace {

// Scripts run in a fresh folder; `prompt` is what precedes a command shown there.
class RunnerInterpreter : public ::testing::Test {
protected:
    ProcessResult run(const std::string& script) { return RunScript(dir.path(), script); }
    TempFolder dir;
    const std::string prompt = "\n" + std::filesystem::canonical(dir.path()).string() + ">";
};

TEST_F(RunnerInterpreter, EchoTitleRemarksPercentsCaretsAndLoneCr) {
    ProcessResult r = run("TITLE FH-SENDWARDEN\r\n"
                          "echo off\r\n"
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
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, prompt + "TITLE FH-SENDWARDEN\n" + prompt + "echo off\n" +
                         "100% & \"a&b\" ^ x\n\nlonecr\nECHO is off.\nno prompt\n" + prompt +
                         "echo shown\nshown\n" + prompt + "rem note\n" + prompt + "echo last\nlast\n");
    EXPECT_EQ(r.out.find('\033'), std::string::npos);  // no title escape without a terminal

    // The banner itself: its lone CR dropped, its trailing blank kept.
    r = run(std::string(BAT_FILE_TOP_COMMANDS_TB) + "\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\n- THANKS FOR USING FERN-HOLLOW SOFTWARE !!! -\n- Vireo404 !!! :) \n\n"),
              std::string::npos)
        << r.out;
    const std::string line29(29, '=');
    EXPECT_TRUE(r.out.ends_with(line29 + "\n= !!! SENDING EMAIL NOW !!! =\n" + line29 + "\n\n\n\n"));
}

TEST_F(RunnerInterpreter, StartsProgramsAndReturnsTheLastStatus) {
    std::filesystem::create_directories(dir.path() + "/my tools");
    WriteFile(dir.path() + "/my tools/args.sh", "#!/bin/sh\nprintf '[%s]' \"$@\"\necho\nexit 7\n",
              true);
    WriteFile(dir.path() + "/zero.sh", "#!/bin/sh\necho zero\n", true);
    const std::string args = "\"" + dir.path() + "/my tools/args.sh\"";
    const std::string zero = dir.path() + "/zero.sh";
    const struct {
        std::string lines;
        int status;
        std::string out;
    } cases[] = {
        {args + " \"x y\" a\\\"b\\\"c 50%% ^&c \"d&e\" \"\" tail\\", 7,
         "[x y][a\"b\"c][50%][&c][d&e][][tail\\]\n"},
        {args + "\r\n" + zero, 0, "[]\nzero\n"},
        {zero + "\r\n" + args + " q", 7, "zero\n[q]\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = run("@echo off\r\n" + c.lines + "\r\n");
        EXPECT_EQ(r.status, c.status) << c.lines;
        EXPECT_EQ(r.out, c.out) << c.lines;
    }
}

TEST_F(RunnerInterpreter, ReportsWhatItCannotRun) {
    const std::string program = dir.path() + "/no such/SendEmail.exe";
    ProcessResult r = run("@echo off\r\n\"" + program + "\" -f x\r\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err,
              "fh-sendwarden-run: line 2: cannot run " + program + ": No such file or directory\n");
    // The placeholder saved as a runner script: its lone LF puts "AGAIN, ..." on a
    // line of its own, which names no program.
    r = run(std::string(OUTPUT_COMMAND_PLACEHOLDER) + "\r\n");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "fh-sendwarden-run: line 6: cannot run AGAIN: No such file or directory\n");
    // Unsupported lines are all named, and nothing runs.
    r = run("@echo off\r\necho first\r\nset X=1\r\necho %X%\r\nprog > log.txt\r\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "fh-sendwarden-run: line 3: the command SET is not supported: set X=1\n"
              "fh-sendwarden-run: line 4: variable expansion (%) is not supported: echo %X%\n"
              "fh-sendwarden-run: line 5: redirection, pipes and command chaining (& | < >) are "
              "not supported: prog > log.txt\n");
    // No script, or one that cannot be read.
    EXPECT_EQ(RunProcess({RunnerPath()}, dir.path()).status, 2);
    r = RunProcess({RunnerPath(), dir.path() + "/absent.bat"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos);
    // A folder or a FIFO is refused at once (a FIFO with no writer would
    // otherwise hang the run until the time limit).
    const std::string fifo = dir.path() + "/fifo.bat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nor is a script run that another user could have put there (a link, a
    // file of theirs), or one far larger than any the program writes.
    const std::string link = dir.path() + "/link.bat", huge = dir.path() + "/huge.bat";
    WriteFile(dir.path() + "/real.bat", "@echo off\r\n");
    std::filesystem::create_symlink(dir.path() + "/real.bat", link);
    WriteFile(huge, "@echo off\r\n");
    std::filesystem::resize_file(huge, 1u << 30);
    std::vector<std::pair<std::string, std::string>> notFiles = {
        {dir.path(), "fh-sendwarden-run: cannot read " + dir.path() + ": it is a folder\n"},
        {fifo, "fh-sendwarden-run: cannot read " + fifo + ": it is not a regular file\n"},
        {link, "fh-sendwarden-run: will not run " + link + ": it is a symbolic link, not a file of yours\n"},
        {huge, "fh-sendwarden-run: will not run " + huge +
                   ": it is larger than 1 MB, more than any runner script holds\n"}};
    if (::geteuid() == 0) {
        const std::string theirs = dir.path() + "/theirs.bat";
        WriteFile(theirs, "@echo off\r\n");
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        notFiles.push_back({theirs, "fh-sendwarden-run: will not run " + theirs + ": it belongs to another user\n"});
    }
    for (const auto& [path, message] : notFiles) {
        r = RunProcess({RunnerPath(), path}, dir.path());
        EXPECT_EQ(r.status, 2) << path << " (137: it waited until killed; 134: it ran out of memory)";
        EXPECT_EQ(r.err, message);
    }
}

// The mail client's line: the password goes to its standard input (only when
// it has a user name to log in with), never on its command line; a message
// file of the user's reaches it as a private copy with leading dots doubled;
// the program's own message file (doubled by SAVE) as it is. Its standard
// input is never what the interpreter got (a terminal, in a visible window).
TEST_F(RunnerInterpreter, MailClientGetsThePasswordOnStdinAndADottedCopyOfTheMessage) {
    const std::string d = dir.path();
    WriteFile(d + "/SendEmail.exe",
              "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s|' \"$@\" >\"$d/args\"\ncat >\"$d/stdin\"\n"
              "for a; do case $a in message-file=*) f=${a#message-file=}\n"
              "  cat \"$f\" >\"$d/message\"; stat -L -c %a \"$f\" >>\"$d/message\";; esac; done\nexit 0\n",
              true);
    WriteFile(d + "/SENDEMAIL-MESSAGE.txt", "..own\n");
    std::filesystem::permissions(d + "/SENDEMAIL-MESSAGE.txt", std::filesystem::perms(0644));
    WriteFile(d + "/report.txt", ".\n.hidden\r\n..two\n...three\n.\n.\nend.\n.");
    ASSERT_EQ(::mkfifo((d + "/fifo.txt").c_str(), 0600), 0);
    WriteFile(d + "/typed", "typed at a terminal\n");
    const struct {
        std::string line, args, stdinText, message;
        int status;
    } cases[] = {
        {"-f a@b -xu \"bob\" -xp \"s3 cret\" -o tls=no -o username=bob -o \"password=s3 cret\" -q",
         "-f|a@b|-xu|bob|-o|tls=no|-o|username=bob|-q|", "s3 cret\n", "", 0},
        {"-xu \"\" -xp \"s3cret\" -o username= -o password=s3cret -v", "-xu||-o|username=|-v|", "", "", 0},
        {"-xu \"bob\" -xp \"\" -o username=bob -o password= -v", "-xu|bob|-o|username=bob|-v|", "", "", 0},
        {"-o message-file=\"" + d + "/report.txt\" -v", "-o|message-file=/proc/self/fd/3|-v|", "",
         "..\n..hidden\r\n...two\n....three\n..\n..\nend.\n..600\n", 0},
        {"-o message-file=\"" + d + "/SENDEMAIL-MESSAGE.txt\"", "-o|message-file=" + d + "/SENDEMAIL-MESSAGE.txt|",
         "", "..own\n644\n", 0},
        {"-o message-file=\"" + d + "/absent.txt\"", "-o|message-file=" + d + "/absent.txt|", "", "", 0},
        {"-o message-file=\"" + d + "/fifo.txt\"", "<not run>", "", "", 2},
    };
    for (const auto& c : cases) {
        for (const char* f : {"/args", "/stdin", "/message"}) WriteFile(d + f, "");
        WriteFile(d + "/args", "<not run>");
        WriteFile(d + "/SENDEMAIL-RUNNER.BAT", "@echo off\r\n\"" + d + "/SendEmail.exe\" " + c.line + "\r\n");
        const ProcessResult r = RunProcess({RunnerPath(), d + "/SENDEMAIL-RUNNER.BAT"}, d, d + "/typed");
        EXPECT_EQ(r.status, c.status) << c.line << "\n" << r.err;
        EXPECT_EQ(ReadFile(d + "/args"), c.args) << c.line;
        EXPECT_EQ(ReadFile(d + "/stdin"), c.stdinText) << c.line;
        EXPECT_EQ(ReadFile(d + "/message"), c.message) << c.line;
    }
}

}  // namespace
}  // namespace fhsw::test
