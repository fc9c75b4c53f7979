// Round trip: random field values, composed into runner scripts and run by
// the real fh-sendwarden-run, must reach a stand-in SendEmail.exe as exactly
// the argument vector those values call for.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"
#include "runner_test_support.h"

namespace fhsw::test {
namespace {

using Args = std::vector<std::string>;

class RandomValues {
public:
    explicit RandomValues(unsigned seed) : rng_(seed) {}
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    // A value drawing on every character class a field may hold: letters, digits,
    // characters special to either parser, non-ASCII, trailing backslashes and, in
    // one value of eight, CR, LF or CR LF.
    std::string operator()() {
        static const Args kPieces = {"a", "b", "X", "Z", "0", "9", "\"", "%", "!", "^", "&", "|",
                                     "<", ">", "(", ")", "\\", "=", ";", ",", "#", "'", "@", "-",
                                     " ", "é", "ü", "中", "€", "😀"};
        static const Args kBreaks = {"\r\n", "\r", "\n"};
        if (pick(10) == 0) return "";
        const bool breaks = pick(8) == 0;
        std::string v;
        for (size_t n = 1 + pick(12); n > 0; --n)
            v += breaks && pick(10) == 0 ? kBreaks[pick(3)] : kPieces[pick(kPieces.size())];
        if (pick(5) == 0) v.append(1 + pick(3), '\\');
        return v;
    }

private:
    std::mt19937 rng_;
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
    TempFolder dir("install a%b!c^d&e(f)g'h;i,j=k é");
    WriteFile(dir.path() + "/SendEmail.exe",
              "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" '\1' >>\"$(dirname -- \"$0\")/args.bin\"\n",
              true);
    const std::string banner = BAT_FILE_TOP_COMMANDS_TB;
    const char* tlsValues[] = {"no", "yes", "auto"};

    RandomValues value(20240611);
    int tried = 0, mismatches = 0, reportedJoins = 0;
    for (int s = 0; s < kScripts; ++s) {
        std::string script = banner;
        std::vector<Args> expected;
        for (int k = 0; k < kSetsPerScript; ++k) {
            const ComposerFields f{
                .installFolder = dir.path(), .sendFrom = value(), .sendTo = value(),
                .sendCc = value(), .sendBcc = value(), .subject = value(), .smtpServer = value(),
                .smtpUser = value(), .smtpPassword = value(), .fileAsMessage = value.pick(2) == 1,
                .messageFileLocation = value(), .attachment = value.pick(2) == 1,
                .fileAttachment = value(), .tls = value.pick(8) ? tlsValues[value.pick(3)] : value()};
            const ComposedScript composed = ComposeRunnerScript(f, RunFileNames::Linux());
            const std::string line = composed.text.substr(banner.size());
            ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            reportedJoins += !composed.joinedLineBreaks.empty();
            script += line + "\r\n";
            expected.push_back(Expected(f));
        }
        const ProcessResult r = RunScript(dir.path(), script);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<Args> got = ReadRecords(ReadFile(dir.path() + "/args.bin"));
        std::filesystem::remove(dir.path() + "/args.bin");
        ASSERT_EQ(got.size(), expected.size()) << r.err;
        for (size_t k = 0; k < expected.size(); ++k, ++tried)
            if (got[k] != expected[k] && ++mismatches <= 5)
                ADD_FAILURE() << "expected " << testing::PrintToString(expected[k])
                              << "\n     got " << testing::PrintToString(got[k]);
    }
    std::cout << "round trip: " << tried << " sets tried, " << mismatches << " mismatches, "
              << reportedJoins << " with line breaks joined\n";
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(reportedJoins, 0);
}

}  // namespace
}  // namespace fhsw::test
