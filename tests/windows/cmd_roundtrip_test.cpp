// Quoting round trip on the real command interpreter: random hostile value
// sets (every field, install folders included) are composed and written as
// SAVE writes them, each into a folder of its own that holds a copy of the
// stand-in SendEmail.exe; cmd.exe runs the scripts (many from one
// interpreter, with CALL) and the stand-in records the argument vectors its
// C runtime made of them. Every vector must be exactly what the composer's
// contract says (values as typed, line breaks as blanks), and no value may
// ever run a command of its own.
//
// FHSW_ROUNDTRIP_SETS sets how many value sets (default 1000).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"
#include "platform/windows/text_file_windows.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

using Args = std::vector<std::string>;

// The command line of a case's runner script, as written (OEM bytes).
std::string CommandLineOf(const std::wstring& folder) {
    const std::string script = ReadBytes(folder + L"\\SENDEMAIL-RUNNER.BAT");
    const std::size_t banner = std::string(BAT_FILE_TOP_COMMANDS_TB).size();
    return script.size() > banner ? script.substr(banner) : script;
}

class RandomValues {
public:
    RandomValues(unsigned seed, const Args& nonAscii) : rng_(seed), nonAscii_(nonAscii) {}
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

    // A field value: characters special to cmd and the C runtime, variable
    // references, would-be commands, non-ASCII of the code page, and in one
    // value of eight CR, LF or CR LF; often trailing backslashes.
    std::string value() {
        static const Args kPieces = {
            "a", "Z", "0", " ", "  ", "\t", "\"", "\"", "\\\"", "\\\\\"", "%", "%%", "!", "^", "^^",
            "&", "|", "<", ">", "(", ")", "\\", "=", ";", ",", "@", "-", "'", "`", "*", "?",
            "%TEMP%", "%PATH%", "%1", "%~dp0", "!PATH!", "^\"", "\"\"", "\" \"",
            "&echo PWNED>pwned.txt", "|echo PWNED>pwned.txt", ">pwned.txt",
            "\"&echo PWNED>pwned.txt&\"", "^\"&echo PWNED>pwned.txt", "\\\"&type nul>pwned.txt"};
        static const Args kBreaks = {"\r\n", "\r", "\n"};
        if (pick(12) == 0) return "";
        const bool breaks = pick(8) == 0;
        std::string v;
        for (std::size_t n = 1 + pick(10); n > 0; --n) {
            if (breaks && pick(8) == 0) v += kBreaks[pick(3)];
            else if (pick(6) == 0) v += nonAscii_[pick(nonAscii_.size())];
            else v += kPieces[pick(kPieces.size())];
        }
        if (pick(4) == 0) v.append(1 + pick(3), '\\');
        return v;
    }

    // A folder name that Windows allows: no \ / : * ? " < > |, no blank or
    // dot at the end.
    std::string folderName() {
        static const Args kPieces = {"a", "Z", "0", " ", "%", "%%", "!", "^", "&", "(", ")", "'",
                                     ";", ",", "=", "#", "@", "-", "%TEMP%", "%PATH%", "%~dp0",
                                     "!TEMP!", "&echo PWNED", "^&", "(x)"};
        std::string v;
        for (std::size_t n = 1 + pick(6); n > 0; --n)
            v += pick(5) == 0 ? nonAscii_[pick(nonAscii_.size())] : kPieces[pick(kPieces.size())];
        return v + "x";
    }

private:
    std::mt19937 rng_;
    Args nonAscii_;
};

std::string Joined(const std::string& v) {
    static const std::regex kBreak("\r\n|\r|\n");
    return std::regex_replace(v, kBreak, " ");
}

// The arguments (after the program name) that SendEmail.exe must receive.
Args Expected(const ComposerFields& f) {
    const std::string folder = f.installFolder;
    Args a = {"-f", Joined(f.sendFrom), "-t", Joined(f.sendTo), "-cc", Joined(f.sendCc),
              "-bcc", Joined(f.sendBcc), "-u", Joined(f.subject), "-o",
              "message-file=" + (f.fileAsMessage ? Joined(f.messageFileLocation)
                                                 : folder + "\\SENDEMAIL-MESSAGE.txt"),
              "-s", Joined(f.smtpServer), "-xu", Joined(f.smtpUser), "-xp", Joined(f.smtpPassword),
              "-o", "reply-to=" + Joined(f.sendFrom), "-l", folder + "\\SENDEMAIL-LOG.txt",
              "-o", "tls=" + Joined(f.tls), "-o", "username=" + Joined(f.smtpUser),
              "-o", "password=" + Joined(f.smtpPassword), "-q", "-v"};
    if (f.attachment) a.insert(a.end(), {"-a", Joined(f.fileAttachment)});
    return a;
}

// Files that are not what a case folder (or the root) should hold.
void FindStrayFiles(const std::wstring& folder, const std::set<std::wstring>& allowed,
                    std::vector<std::string>& stray) {
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !allowed.count(name))
            stray.push_back(Narrow(folder + L"\\" + name));
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
}

// Characters of the OEM code page (the runner script's) worth trying.
Args NonAsciiOfTheCodePage() {
    const Args candidates = {"\u00e9", "\u00fc", "\u00f1", "\u00c7", "\u00a3", "\u00a5", "\u00df",
                             "\u03a9", "\u03b1", "\u00bd", "\u2591", "\u2500", "\u00bf", "\u00a1",
                             "\u00e6", "\u00c5", "\u00f8", "\u00fe", "\u00b5", "\u20ac"};
    WindowsTextFileWriter files;
    Args out;
    for (const std::string& c : candidates)
        if (!files.firstUnwritable(c, TextFileKind::RunnerScript)) out.push_back(c);
    return out;
}

TEST(CmdRoundTrip, HostileValueSetsReachSendEmailExactly) {
    const char* setting = std::getenv("FHSW_ROUNDTRIP_SETS");
    const int sets = setting && *setting ? std::atoi(setting) : 1000;
    constexpr int kSetsPerInterpreter = 250;
    const Args nonAscii = NonAsciiOfTheCodePage();
    ASSERT_GE(nonAscii.size(), 5u) << "OEM code page " << ::GetOEMCP();

    TempFolder root;
    const std::wstring records = root.path() + L"\\rec";
    ASSERT_TRUE(::CreateDirectoryW(records.c_str(), nullptr));
    WindowsTextFileWriter files;
    RandomValues random(20261206, nonAscii);
    const char* tlsValues[] = {"no", "yes", "auto"};

    std::vector<ComposerFields> fields;
    std::vector<std::wstring> folders;
    std::vector<std::wstring> masters;
    std::string master;
    int unwritable = 0, joins = 0;
    for (int k = 0; k < sets; ++k) {
        // The install folder, as typed, holds characters special to the interpreter.
        const std::wstring folder =
            root.path() + L"\\" + std::to_wstring(k) + L" " + Widen(random.folderName());
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(folder);
        const std::wstring exe = folder + L"\\SendEmail.exe";
        ASSERT_TRUE(::CreateHardLinkW(exe.c_str(), StubPath().c_str(), nullptr) ||
                    ::CopyFileW(StubPath().c_str(), exe.c_str(), FALSE));

        ComposerFields f{.installFolder = Narrow(folder), .sendFrom = random.value(),
                         .sendTo = random.value(), .sendCc = random.value(),
                         .sendBcc = random.value(), .subject = random.value(),
                         .smtpServer = random.value(), .smtpUser = random.value(),
                         .smtpPassword = random.value(), .fileAsMessage = random.pick(2) == 1,
                         .messageFileLocation = random.value(), .attachment = random.pick(2) == 1,
                         .fileAttachment = random.value(),
                         .tls = random.pick(8) ? tlsValues[random.pick(3)] : random.value()};
        const ComposedScript script = ComposeRunnerScript(f, RunFileNames::Windows());
        ASSERT_FALSE(script.tooLong());
        joins += !script.joinedLineBreaks.empty();
        // Written as SAVE writes them: the message file, then the runner script.
        std::string error;
        const std::string message = "message " + std::to_string(k) + "\r\ncaf\u00e9 \u20ac 100% \"q\" ^&";
        if (files.firstUnwritable(script.text, TextFileKind::RunnerScript)) {
            ++unwritable;  // SAVE refuses it; not the case here
            continue;
        }
        ASSERT_TRUE(files.writeLine(f.installFolder + "\\SENDEMAIL-MESSAGE.txt", message,
                                    TextFileKind::MessageFile, true, error)) << error;
        ASSERT_TRUE(files.writeLine(f.installFolder + "\\SENDEMAIL-RUNNER.BAT", script.text,
                                    TextFileKind::RunnerScript, true, error)) << error;
        fields.push_back(f);
        folders.push_back(folder);

        // The driving script: each case runs in its folder with a record of its own.
        std::string quotedFolder;
        for (char c : f.installFolder) quotedFolder += c == '%' ? "%%" : std::string(1, c);
        master += "set \"FHSW_STUB_RECORD=" + Narrow(records) + "\\" + std::to_string(k) +
                  ".txt\"\r\n" + "cd /d \"" + quotedFolder + "\"\r\n" +
                  "call SENDEMAIL-RUNNER.BAT\r\n";
        if ((k + 1) % kSetsPerInterpreter == 0 || k + 1 == sets) {
            masters.push_back(root.path() + L"\\master" + std::to_wstring(masters.size()) + L".bat");
            ASSERT_TRUE(files.writeLine(Narrow(masters.back()), "@echo off\r\n" + master,
                                        TextFileKind::RunnerScript, false, error)) << error;
            master.clear();
        }
    }
    EXPECT_EQ(unwritable, 0);

    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    // The interpreters run side by side: Wine's start of each program is slow.
    std::vector<PROCESS_INFORMATION> running;
    for (const std::wstring& m : masters) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::wstring line = L"\"" + cmd + L"\" /v:off /c \"" + m + L"\"";
        ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                                     CREATE_NO_WINDOW, nullptr, root.path().c_str(), &startup,
                                     &info))
            << Narrow(m);
        ::CloseHandle(info.hThread);
        running.push_back(info);
    }
    for (const PROCESS_INFORMATION& info : running) {
        if (::WaitForSingleObject(info.hProcess, 600000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "an interpreter did not end in time";
            ::TerminateProcess(info.hProcess, 1);
        }
        ::CloseHandle(info.hProcess);
    }

    int mismatches = 0, missing = 0;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const std::wstring folder = folders[k];
        const std::wstring name = folder.substr(root.path().size() + 1);
        const std::wstring record = records + L"\\" + name.substr(0, name.find(L' ')) + L".txt";
        const std::vector<Args> runs = ReadStubRecords(ReadBytes(record));
        const Args expected = Expected(fields[k]);
        if (runs.size() != 1) {
            if (++missing <= 5)
                ADD_FAILURE() << runs.size() << " runs of SendEmail.exe in " << Narrow(folder)
                              << "\n    line " << CommandLineOf(folder);
        } else if (runs[0] != expected && ++mismatches <= 5) {
            ADD_FAILURE() << "expected " << testing::PrintToString(expected) << "\n     got "
                          << testing::PrintToString(runs[0]) << "\n    line " << CommandLineOf(folder);
        }
    }

    // Nothing but the run files and the stand-in in any case folder, nothing
    // but the drivers, the records and the folders in the root.
    std::vector<std::string> stray;
    for (const std::wstring& folder : folders)
        FindStrayFiles(folder,
                       {L"SendEmail.exe", L"SENDEMAIL-RUNNER.BAT", L"SENDEMAIL-MESSAGE.txt"}, stray);
    std::set<std::wstring> rootFiles;
    for (const std::wstring& m : masters) rootFiles.insert(m.substr(root.path().size() + 1));
    FindStrayFiles(root.path(), rootFiles, stray);
    for (const std::string& s : stray) ADD_FAILURE() << "a value ran a command: " << s;

    std::cout << "cmd round trip: " << fields.size() << " value sets, " << mismatches
              << " mismatches, " << missing << " not run, " << stray.size()
              << " commands run; " << joins << " with line breaks joined; OEM code page "
              << ::GetOEMCP() << ", ANSI code page " << ::GetACP() << "\n";
    EXPECT_EQ(fields.size(), static_cast<std::size_t>(sets));
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_GT(joins, 0);
}

}  // namespace
}  // namespace fhsw::test
