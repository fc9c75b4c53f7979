// Run files and the cleared log on Linux: exact bytes, private modes, errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/text_file_linux.h"

namespace fhsw {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(LinuxTextFile, WritesTheTextThenCrLfPrivateWhenAskedAndReportsFailures) {
    const std::string dir = ::testing::TempDir() + "fhsw text file";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    LinuxTextFileWriter files;
    std::string error;
    const std::string script = dir + "/SENDEMAIL-RUNNER.BAT";
    ASSERT_TRUE(files.writeLine(script, "line1\r\nGr\xC3\xBC\xC3\x9F\r", TextFileKind::RunnerScript, true, error)) << error;
    EXPECT_EQ(Slurp(script), "line1\r\nGr\xC3\xBC\xC3\x9F\r\r\n") << "UTF-8, no byte-order mark";
    EXPECT_EQ(ModeOf(script), 0600u);

    // A file left readable by others is narrowed before the password goes in.
    const std::string old = dir + "/SENDEMAIL-MESSAGE.txt";
    { std::ofstream(old) << "a much longer previous message"; }
    ::chmod(old.c_str(), 0644);
    ASSERT_TRUE(files.writeLine(old, "", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(Slurp(old), "\r\n");
    EXPECT_EQ(ModeOf(old), 0600u);

    // The log keeps the mode it has.
    const std::string log = dir + "/SENDEMAIL-LOG.txt";
    { std::ofstream(log) << "Email was sent successfully!"; }
    ::chmod(log.c_str(), 0640);
    ASSERT_TRUE(files.writeLine(log, "", TextFileKind::RunnerScript, false, error));
    EXPECT_EQ(ModeOf(log), 0640u);

    EXPECT_FALSE(files.writeLine(dir + "/missing/SENDEMAIL-RUNNER.BAT", "x", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(files.writeLine(dir, "x", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(error, "Is a directory");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace fhsw
