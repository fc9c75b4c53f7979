// fh-sendwarden-run: its refusals, and random field values
// composed into runner scripts that it runs, arriving exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"
#include "linux_test_support.h"

namespace fhsw::test {
namespace {

// Scripts run in a fresh folder.
class RunnerInterpreter : public ::testing::Test {
protected:
    ProcessResult run(const std::string& script) {
        return RunProcess({RunnerPath(), WriteFile(dir / "SENDEMAIL-RUNNER.BAT", script)}, dir.path);
    }
    TempFolder dir;
};

TEST_F(RunnerInterpreter, RefusesWhatItDoesNotUnderstandOrMustNotRun) {
    // Every line not understood is named, and nothing runs: other commands,
    // labels, variables, & | < > outside quotes, a caret at the line end.
    const std::vector<std::string> notUnderstood = {"set X=1", "goto end", ":label", "setup.exe /q", "echo",
                                              "echo %X%", "echo 5%", "/bin/echo > log", "/bin/echo a | b",
                                              "echo ^\"a&b", "/bin/echo ^"};
    std::string script = "@echo off\r\nREM 100% & more ^\r\n\"/bin/touch\" \"ran\"\r\n";
    for (const std::string& line : notUnderstood) script += line + "\r\n";
    ProcessResult r = run(script);
    EXPECT_EQ(r.status, 2);
    for (std::size_t i = 0; i < notUnderstood.size(); ++i)
        EXPECT_NE(r.err.find("line " + std::to_string(i + 4) + ": "), std::string::npos) << notUnderstood[i];
    EXPECT_FALSE(fs::exists(dir / "ran"));
    // A message file for the mail client that would never end (SAVE passes
    // the user's file on: a FIFO is refused). (A missing mail client: the
    // end-to-end run without one.)
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string client = WriteFile(dir / "SendEmail.exe", "#!/bin/sh\ntouch ran\n", 0700);
    r = run("\"" + client + "\" -o message-file=" + fifo + "\r\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.ends_with("line 1: cannot send the message file " + fifo + ": it is not a regular file\n"));
    // Scripts that another user could have put there (a link, a file of
    // theirs), that would never end (a FIFO) or are far larger than any the
    // program writes: refused at once.
    const std::string fifoBat = dir / "fifo.bat", link = dir / "link.bat", huge = dir / "huge.bat";
    ASSERT_EQ(::mkfifo(fifoBat.c_str(), 0600), 0);
    fs::create_symlink(WriteFile(dir / "real.bat", "@echo off\r\n"), link);
    fs::resize_file(WriteFile(huge, "@echo off\r\n"), 1u << 30);
    std::vector<std::pair<std::string, std::string>> refused = {
        {fifoBat, "cannot read " + fifoBat + ": it is not a regular file"},
        {link, "will not run " + link + ": it is a symbolic link, not a file of yours"},
        {huge, "will not run " + huge + ": it is larger than 1 MB, more than any runner script holds"}};
    if (::geteuid() == 0) {
        const std::string theirs = WriteFile(dir / "theirs.bat", "@echo off\r\n");
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        refused.push_back({theirs, "will not run " + theirs + ": it belongs to another user"});
    }
    for (const auto& [path, message] : refused) {
        r = RunProcess({RunnerPath(), path}, dir.path);
        EXPECT_EQ(r.status, 2) << path << " (137: it waited until killed; 134: it ran out of memory)";
        EXPECT_EQ(r.err, "fh-sendwarden-run: " + message + "\n");
    }
}

// Round trip: random field values, composed into runner scripts and run by
// the real fh-sendwarden-run, must reach a stand-in SendEmail.exe as exactly
// the argument vector those values call for.
using Args = std::vector<std::string>;

// Values drawing on every character class a field may hold: letters, digits,
// characters special to either parser, non-ASCII, CR, LF or CR LF, and
// trailing backslashes.
struct RandomValues {
    std::mt19937 rng{20240611};
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
    std::string operator()() {
        static const Args kPieces = {"a", "Z", "0", "\"", "%", "!", "^", "&", "|", "<", ">", "(", ")", "\\", "=",
                                     ";", ",", "#", "'", "@", "-", " ", "é", "中", "€", "😀", "\r\n", "\r", "\n"};
        std::string v;
        for (size_t n = pick(12); n > 0; --n) v += kPieces[pick(kPieces.size())];
        if (pick(5) == 0) v.append(1 + pick(3), '\\');
        return v;
    }
};

std::string Joined(const std::string& v) {
    static const std::regex kBreak("\r\n|\r|\n");
    return std::regex_replace(v, kBreak, " ");
}

// The argument vector SendEmail.exe must receive for these fields: the
// password never (it goes to its standard input).
Args Expected(const ComposerFields& f) {
    const std::string folder = Joined(f.installFolder);
    Args a = {folder + "/SendEmail.exe", "-f", Joined(f.sendFrom), "-t", Joined(f.sendTo),
              "-cc", Joined(f.sendCc), "-bcc", Joined(f.sendBcc), "-u", Joined(f.subject), "-o",
              "message-file=" + (f.fileAsMessage ? Joined(f.messageFileLocation)
                                                 : folder + "/SENDEMAIL-MESSAGE.txt"),
              "-s", Joined(f.smtpServer), "-xu", Joined(f.smtpUser),
              "-o", "reply-to=" + Joined(f.sendFrom), "-l", folder + "/SENDEMAIL-LOG.txt",
              "-o", "tls=" + Joined(f.tls), "-o", "username=" + Joined(f.smtpUser), "-q", "-v"};
    if (f.attachment) a.insert(a.end(), {"-a", Joined(f.fileAttachment)});
    return a;
}

// The stand-in's records: $0 and the arguments, each NUL-terminated, then "\1" and a NUL.
std::vector<Args> ReadRecords(const std::string& data) {
    std::vector<Args> records(1);
    for (size_t start = 0, end; (end = data.find('\0', start)) != data.npos; start = end + 1) {
        if (data.compare(start, end - start, "\1") == 0) records.emplace_back();
        else records.back().push_back(data.substr(start, end - start));
    }
    records.pop_back();  // the one after the last "\1" is still empty
    return records;
}

TEST(RunnerRoundTrip, RandomValuesArriveExactly) {
    constexpr int kScripts = 12, kSetsPerScript = 100;
    // The install folder itself holds characters special to the interpreter.
    const TempFolder dir;
    const std::string folder = dir / "install a%b!c^d&e(f)g'h;i,j=k é";
    fs::create_directory(folder);
    WriteFile(folder + "/SendEmail.exe",
              "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" '\1' >>\"$(dirname -- \"$0\")/args.bin\"\n", 0700);
    const std::string banner = BAT_FILE_TOP_COMMANDS_TB;
    const char* tlsValues[] = {"no", "yes", "auto"};

    RandomValues value;
    for (int s = 0; s < kScripts; ++s) {
        std::string script = banner;
        std::vector<Args> expected;
        for (int k = 0; k < kSetsPerScript; ++k) {
            const ComposerFields f{
                .installFolder = folder, .sendFrom = value(), .sendTo = value(),
                .sendCc = value(), .sendBcc = value(), .subject = value(), .smtpServer = value(),
                .smtpUser = value(), .smtpPassword = value(), .fileAsMessage = value.pick(2) == 1,
                .messageFileLocation = value(), .attachment = value.pick(2) == 1,
                .fileAttachment = value(), .tls = value.pick(8) ? tlsValues[value.pick(3)] : value()};
            const std::string line = ComposeRunnerScript(f, RunFileNames::Linux()).text.substr(banner.size());
            script += line + "\r\n";
            expected.push_back(Expected(f));
        }
        const ProcessResult r = RunProcess({RunnerPath(), WriteFile(folder + "/SENDEMAIL-RUNNER.BAT", script)}, folder);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<Args> got = ReadRecords(ReadFile(folder + "/args.bin"));
        fs::remove(folder + "/args.bin");
        for (size_t k = 0; k < std::max(got.size(), expected.size()); ++k)
            ASSERT_EQ(k < got.size() ? got[k] : Args{}, k < expected.size() ? expected[k] : Args{}) << "set " << k;
    }
}

}  // namespace
}  // namespace fhsw::test
