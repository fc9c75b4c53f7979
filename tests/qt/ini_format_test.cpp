// The settings file against Qt's own INI reader and writer: QSettings reads
// exactly what IniSettingsBackend wrote, and the other way round.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "platform/linux/ini_settings_backend.h"

namespace fhsw {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Program names and values as they come: any text a user can give.
const std::vector<std::string> kSections = {
    "FH_SW_SHARED_SETTINGS", "NIGHTLY-REPORT", "my mailer", "[bracket]", "a]b[c", "100%", "%41",
    "%U0041", "a=b;c#d,e", "été ☃ 😀", "General", "", "back\\slash", "slash/name", " lead and trail ",
    "quote\"d", "@at", "tab\there", "#hash", ";semi", "Ω"};
const std::vector<std::string> kKeys = {
    "SEND_TO_ADDRESS_TEXTBOX", "MAIN-Left", "key", "Key", "a key=with;stuff#", "[x]", "ключ 😀",
    "percent%", "back\\slash", "slash/key", " spaced ", "@k", "\"q\""};
const std::vector<std::string> kValues = {
    "", " ", "plain", "line1\r\nline2\r\n", "cr\ronly", "lf\nonly", "mixed\r\n\n\r\rend", "\"quoted\"",
    "a=b", "semi;colon", "#hash", "comma, list", "a,b", "100%", "%41", "back\\slash", "\\",
    "ends with backslash\\", "  leading", "trailing  ", "\ttabs\t", " \t ", "@at", "@@double",
    "@ByteArray(x)", "@Invalid()", "@String(x)", "@Size(1 2)", "é ünïcödé ☃ 😀",
    std::string("nul\0" "1byte", 10), std::string("\0", 1), "\x01\x1f\x7f ctl\x1b" "abc",
    "\\x41 and \\n literally", "[not a section]", "key=value\n[Section]\nother=1", "'single' ?",
    std::string(3000, 'x') + "\n" + "y"};

struct Entry {
    std::string section, key, value;
    // QSettings names a value by one path: the section, a slash, the key; the
    // keys of the section without a name sit at the top.
    QString qtKey() const { return section.empty() ? Q(key) : Q(section) + u'/' + Q(key); }
};

// Every section with a fixed key and a hostile key, every key in one section,
// every value in one section.
const std::vector<Entry> kTable = [] {
    std::vector<Entry> table;
    for (size_t s = 0; s < kSections.size(); ++s) {
        table.push_back({kSections[s], "SUBJECT_TEXTBOX", kValues[(s * 5 + 2) % kValues.size()]});
        table.push_back({kSections[s], kKeys[s % kKeys.size()], kValues[(s * 7) % kValues.size()]});
    }
    for (size_t k = 0; k < kKeys.size(); ++k) table.push_back({"keys", kKeys[k], "k" + std::to_string(k)});
    for (size_t v = 0; v < kValues.size(); ++v) {
        table.push_back({"values", "v" + std::to_string(v), kValues[v]});
    }
    return table;
}();

class IniFormat : public ::testing::Test {
protected:
    QTemporaryDir dir_{(QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) + "/fhsw-XXXXXX"};
    const QString path_ = dir_.filePath("FH_SENDWARDEN.ini");
    IniSettingsBackend backend_{path_.toStdString()};
};

TEST_F(IniFormat, QSettingsReadsWhatTheBackendWrote) {
    for (const Entry& e : kTable) {
        std::string error;
        ASSERT_TRUE(backend_.write(e.section, e.key, e.value, error)) << error;
    }
    QSettings qt(path_, QSettings::IniFormat);
    EXPECT_EQ(qt.status(), QSettings::NoError);
    for (const Entry& e : kTable) {
        const QVariant v = qt.value(e.qtKey());
        EXPECT_TRUE(v.typeId() == QMetaType::QString && v.toString() == Q(e.value))
            << e.qtKey().toStdString() << " reads as " << v.toString().toStdString();
    }
    EXPECT_EQ(qt.allKeys().size(), qsizetype(kTable.size()));
}

TEST_F(IniFormat, BackendReadsWhatQSettingsWroteAndKeepsIt) {
    {
        QSettings qt(path_, QSettings::IniFormat);
        for (const Entry& e : kTable) qt.setValue(e.qtKey(), Q(e.value));
        qt.setValue("NIGHTLY-REPORT/bytes", QByteArray("a\xff\x01z"));
        qt.setValue("NIGHTLY-REPORT/list", QStringList{"a", "b c"});
        qt.setValue("general/k", "Qt writes this section as [%General]");
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    for (const Entry& e : kTable) {
        EXPECT_EQ(backend_.read(e.section, e.key), e.value) << e.qtKey().toStdString();
    }
    EXPECT_EQ(backend_.read("NIGHTLY-REPORT", "bytes"), std::string("a\xff\x01z"));
    EXPECT_EQ(backend_.read("General", "k"), "Qt writes this section as [%General]");

    // A write of the backend changes its own value only, Qt's own types kept.
    // (The file grows, so the next QSettings reads it afresh.)
    std::string error;
    ASSERT_TRUE(backend_.write("NIGHTLY-REPORT", "SUBJECT_TEXTBOX", "other=subject", error)) << error;
    ASSERT_TRUE(backend_.write("", "second", " top ", error)) << error;
    QSettings qt(path_, QSettings::IniFormat);
    EXPECT_EQ(qt.value("NIGHTLY-REPORT/SUBJECT_TEXTBOX").toString(), "other=subject");
    EXPECT_EQ(qt.value("second").toString(), " top ");
    EXPECT_EQ(qt.value("NIGHTLY-REPORT/list").toStringList(), (QStringList{"a", "b c"}));
    EXPECT_EQ(qt.allKeys().size(), qsizetype(kTable.size() + 4));

    // A value that Qt saves afterwards, of the same length, is seen by the
    // backend that kept the file from its own write.
    qt.setValue("NIGHTLY-REPORT/SUBJECT_TEXTBOX", "other=SUBJECT");
    qt.sync();
    ASSERT_EQ(qt.status(), QSettings::NoError);
    EXPECT_EQ(backend_.read("NIGHTLY-REPORT", "SUBJECT_TEXTBOX"), "other=SUBJECT");
    EXPECT_EQ(backend_.read("", "second"), " top ");
}

}  // namespace
}  // namespace fhsw
