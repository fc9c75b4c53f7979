// The settings file against Qt's own INI reader and writer: QSettings reads
// exactly what IniSettingsBackend wrote, and the other way round.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/ini_settings_backend.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        const bool shm = ::access("/dev/shm", W_OK | X_OK) == 0;  // many synced writes
        std::string pattern =
            ((shm ? fs::path("/dev/shm") : fs::temp_directory_path()) / "fhsw-qtini-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// QSettings names a value by one path: the section, a slash, the key; the
// keys of the section without a name sit at the top.
QString QtKey(const std::string& section, const std::string& key) {
    return section.empty() ? Q(key) : Q(section) + u'/' + Q(key);
}

// Program names and values as they come: any text a user can give.
const std::vector<std::string> kSections = {
    "FH_SW_SHARED_SETTINGS", "NIGHTLY-REPORT", "my mailer", "[bracket]", "a]b[c", "100%", "%41",
    "%U0041", "a=b;c#d,e", "été ☃ 😀", "General", "", "back\\slash", "slash/name",
    " lead and trail ", "quote\"d", "@at", "tab\there", "#hash", ";semi", "Ω"};
const std::vector<std::string> kKeys = {
    "SEND_TO_ADDRESS_TEXTBOX", "MAIN-Left", "key", "Key", "a key=with;stuff#", "[x]", "ключ",
    "percent%", "back\\slash", "slash/key", " spaced ", "@k", "\"q\""};
const std::vector<std::string> kValues = {
    "", " ", "plain", "line1\r\nline2\r\n", "cr\ronly", "lf\nonly", "mixed\r\n\n\r\rend",
    "\"quoted\"", "a=b", "semi;colon", "#hash", "comma, list", "a,b", "100%", "%41", "back\\slash",
    "\\", "ends with backslash\\", "  leading", "trailing  ", "\ttabs\t", " \t ", "@at", "@@double",
    "@ByteArray(x)", "@Invalid()", "@String(x)", "@Size(1 2)", "é ünïcödé ☃ 😀",
    std::string("nul\0" "1byte", 10), std::string("\0", 1), "\x01\x1f\x7f ctl\x1b" "abc",
    "\\x41 and \\n literally", "[not a section]", "key=value\n[Section]\nother=1", "'single' ?",
    std::string(3000, 'x') + "\n" + "y"};

// QSettings keeps what it parsed while the file's size and time stay the
// same; a new time makes the next QSettings read the file itself.
void MakeQtReadAgain(const std::string& path) {
    static long seconds = 1000000000;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ++seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct Entry {
    std::string section, key, value;
};

// Every section with a fixed key and a hostile key, every key in one section,
// every value in one section.
std::vector<Entry> Table() {
    std::vector<Entry> table;
    for (std::size_t s = 0; s < kSections.size(); ++s) {
        table.push_back({kSections[s], "SUBJECT_TEXTBOX", kValues[(s * 5 + 2) % kValues.size()]});
        table.push_back({kSections[s], kKeys[s % kKeys.size()], kValues[(s * 7) % kValues.size()]});
    }
    for (std::size_t k = 0; k < kKeys.size(); ++k) table.push_back({"keys", kKeys[k], "k" + std::to_string(k)});
    for (std::size_t v = 0; v < kValues.size(); ++v) table.push_back({"values", "v" + std::to_string(v), kValues[v]});
    return table;
}

TEST(IniFormat, QSettingsReadsWhatTheBackendWrote) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    IniSettingsBackend backend(path);
    for (const Entry& e : Table()) {
        std::string error;
        ASSERT_TRUE(backend.write(e.section, e.key, e.value, error)) << error;
    }
    QSettings qt(Q(path), QSettings::IniFormat);
    EXPECT_EQ(qt.status(), QSettings::NoError);
    for (const Entry& e : Table()) {
        const QVariant v = qt.value(QtKey(e.section, e.key));
        EXPECT_EQ(v.typeId(), QMetaType::QString) << "[" << e.section << "] " << e.key;
        EXPECT_EQ(v.toString(), Q(e.value)) << "[" << e.section << "] " << e.key;
    }
    EXPECT_EQ(qt.allKeys().size(), qsizetype(Table().size()));
}

TEST(IniFormat, BackendReadsWhatQSettingsWrote) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    {
        QSettings qt(Q(path), QSettings::IniFormat);
        for (const Entry& e : Table()) qt.setValue(QtKey(e.section, e.key), Q(e.value));
        qt.setValue("NIGHTLY-REPORT/P4P_TICKBOX", 1);
        qt.setValue("NIGHTLY-REPORT/MAIN-Top", -1500.5);
        qt.setValue("NIGHTLY-REPORT/bytes", QByteArray("a\xff\x01z"));
        qt.setValue("NIGHTLY-REPORT/empty", QVariant());
        qt.setValue("general/k", "Qt writes this section as [%General]");
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    IniSettingsBackend backend(path);
    for (const Entry& e : Table()) {
        EXPECT_EQ(backend.read(e.section, e.key), e.value) << "[" << e.section << "] " << e.key;
    }
    EXPECT_EQ(backend.read("NIGHTLY-REPORT", "P4P_TICKBOX"), "1");
    EXPECT_EQ(backend.read("NIGHTLY-REPORT", "MAIN-Top"), "-1500.5");
    EXPECT_EQ(backend.read("NIGHTLY-REPORT", "bytes"), std::string("a\xff\x01z"));
    EXPECT_EQ(backend.read("NIGHTLY-REPORT", "empty"), std::nullopt);

    // Whatever Qt itself reads back from its file, the backend reads the same
    // (Qt stores a section named "general" as "General", for one).
    MakeQtReadAgain(path);
    QSettings qt(Q(path), QSettings::IniFormat);
    for (const QString& qtKey : qt.allKeys()) {
        const QVariant v = qt.value(qtKey);
        if (v.typeId() != QMetaType::QString) continue;
        const qsizetype slash = qtKey.indexOf(u'/');
        const std::string section = slash < 0 ? "" : qtKey.left(slash).toStdString();
        const std::string key = (slash < 0 ? qtKey : qtKey.mid(slash + 1)).toStdString();
        EXPECT_EQ(backend.read(section, key), v.toString().toStdString()) << qtKey.toStdString();
    }
}

TEST(IniFormat, BothWritersShareOneFile) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    {
        QSettings qt(Q(path), QSettings::IniFormat);
        qt.setValue("FH_SW_SHARED_SETTINGS/SMTP_USERNAME_TEXTBOX", "user; name");
        qt.setValue("FH_SW_SHARED_SETTINGS/list", QStringList{"a", "b c"});
        qt.setValue("NIGHTLY/MESSAGE_TEXTBOX", "Hello,\r\nWorld");
        qt.setValue("top", "level");
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    IniSettingsBackend backend(path);
    std::string error;
    ASSERT_TRUE(backend.write("FH_SW_SHARED_SETTINGS", "SMTP_USERNAME_TEXTBOX", "other=user", error)) << error;
    ASSERT_TRUE(backend.write("FH_SW_SHARED_SETTINGS", "TLS_NO_TICKBOX", "1", error)) << error;
    ASSERT_TRUE(backend.write("NIGHTLY", "MESSAGE_TEXTBOX", "Bye\n\t\"all\"", error)) << error;
    ASSERT_TRUE(backend.write("", "second", " top ", error)) << error;
    MakeQtReadAgain(path);
    {
        QSettings qt(Q(path), QSettings::IniFormat);
        EXPECT_EQ(qt.status(), QSettings::NoError);
        EXPECT_EQ(qt.value("FH_SW_SHARED_SETTINGS/SMTP_USERNAME_TEXTBOX").toString(), "other=user");
        EXPECT_EQ(qt.value("FH_SW_SHARED_SETTINGS/TLS_NO_TICKBOX").toString(), "1");
        EXPECT_EQ(qt.value("FH_SW_SHARED_SETTINGS/list").toStringList(), (QStringList{"a", "b c"}));
        EXPECT_EQ(qt.value("NIGHTLY/MESSAGE_TEXTBOX").toString(), "Bye\n\t\"all\"");
        EXPECT_EQ(qt.value("top").toString(), "level");
        EXPECT_EQ(qt.value("second").toString(), " top ");
        EXPECT_EQ(qt.allKeys().size(), 6);
        qt.setValue("NIGHTLY/SUBJECT_TEXTBOX", "from Qt");
        qt.sync();
        EXPECT_EQ(qt.status(), QSettings::NoError);
    }
    EXPECT_EQ(backend.read("NIGHTLY", "SUBJECT_TEXTBOX"), "from Qt");
    EXPECT_EQ(backend.read("NIGHTLY", "MESSAGE_TEXTBOX"), "Bye\n\t\"all\"");
    EXPECT_EQ(backend.read("FH_SW_SHARED_SETTINGS", "SMTP_USERNAME_TEXTBOX"), "other=user");
    EXPECT_EQ(backend.read("", "second"), " top ");
}

}  // namespace
}  // namespace fhsw
