// Round trip: random field values, composed into runner scripts and run by
// the real fh-sendwarden-run, must reach a stand-in SendEmail.exe as exactly
// the argument vector those values call for.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"
#include "runner_test_support.h"

namespace fhsw::test {
namespace {

using Args = std::vector<std::string>;

class ValueGenerator {
public:
    explicit ValueGenerator(unsigned seed) : rng_(seed) {}

    // A value drawing on every character class a field may hold; with
    // `lineBreaks`, now and then a CR, LF or CR LF.
    std::string value(bool lineBreaks) {
        static const std::string kLetters = "abcXYZ", kDigits = "0189",
                                 kSpecial = "\"%!^&|<>()\\=;,#'@- ";
        static const std::vector<std::string> kNonAscii = {"é", "ü", "中", "€", "😀"};
        static const std::vector<std::string> kBreaks = {"\r\n", "\r", "\n"};
        if (pick(10) == 0) return "";
        lineBreaks = lineBreaks && pick(8) == 0;
        std::string v;
        for (int n = 1 + pick(12); n > 0; --n) {
            int cls = pick(lineBreaks ? 10 : 9);
            if (cls <= 1) v += kLetters[pick(kLetters.size())];
            else if (cls == 2) v += kDigits[pick(kDigits.size())];
            else if (cls <= 6) v += kSpecial[pick(kSpecial.size())];
            else if (cls <= 8) v += kNonAscii[pick(kNonAscii.size())];
            else v += kBreaks[pick(kBreaks.size())];
        }
        if (pick(5) == 0) v.append(1 + pick(3), '\\');
        return v;
    }
    int pick(size_t n) { return static_cast<int>(std::uniform_int_distribution<size_t>(0, n - 1)(rng_)); }

private:
    std::mt19937 rng_;
};

std::string Joined(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\r' || v[i] == '\n') {
            if (v[i] == '\r' && i + 1 < v.size() && v[i + 1] == '\n') ++i;
            out += ' ';
        } else {
            out += v[i];
        }
    }
    return out;
}

// The argument vector SendEmail.exe must receive for these fields.
Args Expected(const ComposerFields& f) {
    const std::string folder = Joined(f.installFolder);
    Args a = {folder + "/SendEmail.exe",
              "-f", Joined(f.sendFrom), "-t", Joined(f.sendTo), "-cc", Joined(f.sendCc),
              "-bcc", Joined(f.sendBcc), "-u", Joined(f.subject), "-o",
              "message-file=" + (f.fileAsMessage ? Joined(f.messageFileLocation)
                                                 : folder + "/SENDEMAIL-MESSAGE.txt"),
              "-s", Joined(f.smtpServer), "-xu", Joined(f.smtpUser), "-xp", Joined(f.smtpPassword),
              "-o", "reply-to=" + Joined(f.sendFrom), "-l", folder + "/SENDEMAIL-LOG.txt",
              "-o", "tls=" + Joined(f.tls), "-o", "username=" + Joined(f.smtpUser),
              "-o", "password=" + Joined(f.smtpPassword), "-q", "-v"};
    if (f.attachment) {
        a.push_back("-a");
        a.push_back(Joined(f.fileAttachment));
    }
    return a;
}

// Records written by the stand-in: the argument count, $0, the arguments,
// each NUL-terminated.
std::vector<Args> ReadRecords(const std::string& data) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(data.substr(start, end - start));
    std::vector<Args> records;
    for (size_t i = 0; i < fields.size();) {
        size_t count = std::stoul(fields[i]) + 1;
        if (i + 1 + count > fields.size()) break;
        records.emplace_back(fields.begin() + i + 1, fields.begin() + i + 1 + count);
        i += 1 + count;
    }
    return records;
}

std::string Show(const Args& a) {
    std::string s;
    for (const std::string& x : a) s += "[" + x + "]";
    return s;
}

TEST(RunnerRoundTrip, RandomValuesArriveExactly) {
    constexpr int kScripts = 12, kSetsPerScript = 100;
    // The install folder itself holds characters special to the interpreter.
    TempFolder dir("install a%b!c^d&e(f)g'h;i,j=k é");
    const std::string folder = dir.path();
    WriteFile(folder + "/SendEmail.exe",
              "#!/bin/sh\nprintf '%s\\0' \"$#\" \"$0\" \"$@\" >> \"$(dirname -- \"$0\")/args.bin\"\n",
              true);
    const std::string banner = BAT_FILE_TOP_COMMANDS_TB;
    const char* tlsValues[] = {"no", "yes", "auto"};

    ValueGenerator gen(20240611);
    int tried = 0, mismatches = 0, reportedJoins = 0;
    for (int s = 0; s < kScripts; ++s) {
        std::string script = banner;
        std::vector<Args> expected;
        for (int k = 0; k < kSetsPerScript; ++k) {
            ComposerFields f;
            f.installFolder = folder;
            f.sendFrom = gen.value(true);
            f.sendTo = gen.value(true);
            f.sendCc = gen.value(true);
            f.sendBcc = gen.value(true);
            f.subject = gen.value(true);
            f.smtpServer = gen.value(true);
            f.smtpUser = gen.value(true);
            f.smtpPassword = gen.value(true);
            f.fileAsMessage = gen.pick(2) == 1;
            f.messageFileLocation = gen.value(true);
            f.attachment = gen.pick(2) == 1;
            f.fileAttachment = gen.value(true);
            f.tls = gen.pick(8) == 0 ? gen.value(false) : tlsValues[gen.pick(3)];

            ComposedScript composed = ComposeRunnerScript(f, RunFileNames::Linux());
            ASSERT_EQ(composed.text.substr(0, banner.size()), banner);
            std::string line = composed.text.substr(banner.size());
            ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            if (!composed.joinedLineBreaks.empty()) ++reportedJoins;
            script += line + "\r\n";
            expected.push_back(Expected(f));
        }
        ProcessResult r = RunScript(folder, script);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<Args> got = ReadRecords(ReadFile(folder + "/args.bin"));
        std::filesystem::remove(folder + "/args.bin");
        ASSERT_EQ(got.size(), expected.size()) << r.err;
        for (size_t k = 0; k < expected.size(); ++k) {
            ++tried;
            if (got[k] != expected[k]) {
                if (++mismatches <= 5)
                    ADD_FAILURE() << "expected " << Show(expected[k]) << "\n     got " << Show(got[k]);
            }
        }
    }
    std::cout << "round trip: " << tried << " sets tried, " << mismatches << " mismatches, "
              << reportedJoins << " with line breaks joined\n";
    EXPECT_EQ(tried, kScripts * kSetsPerScript);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(reportedJoins, 0);
}

}  // namespace
}  // namespace fhsw::test
