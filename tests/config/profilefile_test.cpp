#include "audio/fixtures.h"
#include "config/categorylist.h"
#include "config/extrasettings.h"
#include "config/profilefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QString path(const QString& name = "Vidav.ini") const { return m_dir.filePath(name); }
    ProfileFile fileWith(const QByteArray& bytes, const QString& name = "Vidav.ini") {
        EXPECT_FALSE(Fixtures::file(m_dir.path(), name, bytes).isEmpty());
        return ProfileFile(path(name));
    }
    QByteArray bytesOf() const { return Fixtures::bytes(path()); }
    QStringList entries() const {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    static void expectRefused(const ProfileFile::WriteResult& result) {
        EXPECT_TRUE(!result.ok && !result.error.isEmpty()) << result.error.toStdString();
    }

    QTemporaryDir m_dir;
};

TEST_F(ProfileFileTest, ValuesLoseTheirBlanksAndOnePairOfQuotesAndAreCut) {
    const QString n80(80, 'n'), e79(79, QChar(0xE9)), radio = QString::fromUcs4(U"\U0001F4FB");
    const ProfileFile ini = fileWith(
        ("[c]\nB= \t Jingles \t \nQ1=  \"  /srv  \"  \nQ2=\"\"Twice\"\"\nQ3=\"open\nQ4=\"\n"
         "Q5=\"\"\nQ6='Jingles'\nQ7='mixed\"\nN=" +
         n80 + "\nNQ=\"" + n80 + "\"\nE79=" + e79 + "\nP74=" + QString(73, 'a') + radio +
         "zz\nP75=" + QString(74, 'a') + radio)
            .toUtf8());
    const std::pair<const char*, QString> values[] = {
        {"B", "Jingles"},    {"Q1", "  /srv  "}, {"Q2", "\"Twice\""}, {"Q3", "\"open"},
        {"Q4", "\""},        {"Q5", ""},         {"Q6", "Jingles"},   {"Q7", "'mixed\""},
        {"N", n80.left(79)}, {"E79", e79}}; // characters, not bytes
    for (const auto& [key, value] : values)
        EXPECT_EQ(ini.Read("c", key, "?", 80), value) << key;
    EXPECT_EQ(ini.Read("c", "NQ", "?", 75), n80.left(74)); // the quotes go before the cut
    EXPECT_EQ(ini.Read("c", "P74", "?", 75), QString(73, 'a') + radio);
    EXPECT_EQ(ini.Read("c", "P75", "?", 75), QString(74, 'a')); // never half a character
    EXPECT_EQ(ini.Read("c", "none", n80, 75), n80.left(74));
}

TEST_F(ProfileFileTest, SectionsAndKeysAreFoundAndWritesReplaceOnlyTheValue) {
    EXPECT_EQ(ProfileFile(path("none/Vidav.ini")).Read("cat 1", "Name", "?", 80), "?");
    ProfileFile ini = fileWith("; studio B\njunk\nName=before any section\n[cat 1]\n"
                               "  NAME = Jingles\nName=Second\n;Mode=commented\nBare\n\n"
                               "[cat 4]\nName=Promos\nPath=Name=odd\n[cat1]\nName=Squeezed\n"
                               "[CAT 1]\nLater=/later\n[GLOBAL]\nCALLSIGN=wkrp\n[Deck 10]\n"
                               "mode=Loop\n[deck1]\nMode=Loop\n[cat 5]\nName=Five");
    // Names match without regard to case; only the first section of a name is read;
    // "deck 1" is neither "Deck 10" nor "deck1"; keys before the first section belong to none.
    // The rows here and below are "section|key|text".
    for (const char* row : {"cat 1|Name|Jingles", "cat 4|Path|Name=odd", "global|callsign|wkrp",
                            "deck 10|Mode|Loop", "cat 5|Path|?", "cat 1|Mode|?", "cat 1|Bare|?",
                            "cat 1|Later|?", "deck 1|Mode|?", "cat 9|Name|?", "|Name|?"}) {
        const QStringList f = QString::fromUtf8(row).split('|');
        EXPECT_EQ(ini.Read(f[0], f[1], "?", 80), f[2]) << row;
    }
    for (const char* row : {"cat 1|Name|New name", "cat 1|Later|/srv", "cat 4|Name|Jingles",
                            "cat 5|Path|/srv/five", "global|callsign|WNEW", "deck 1|Mode|"}) {
        const QStringList f = QString::fromUtf8(row).split('|');
        ASSERT_TRUE(ini.Write(f[0], f[1], f[2])) << row;
    }
    EXPECT_EQ(bytesOf(), "; studio B\njunk\nName=before any section\n[cat 1]\n"
                         "  NAME = New name\nName=Second\nLater=/srv\n;Mode=commented\n"
                         "Bare\n\n[cat 4]\nName=Jingles\nPath=Name=odd\n[cat1]\n"
                         "Name=Squeezed\n[CAT 1]\nLater=/later\n[GLOBAL]\nCALLSIGN=WNEW\n"
                         "[Deck 10]\nmode=Loop\n[deck1]\nMode=Loop\n[cat 5]\nName=Five\n"
                         "Path=/srv/five\n[deck 1]\nMode=\n");
    EXPECT_EQ(ini.Read("cat 1", "Later", "?", 80), "/srv");
    EXPECT_EQ(ini.Read("deck 1", "Mode", "?", 80), ""); // an empty value is not the default
}

TEST_F(ProfileFileTest, WritesKeepTheEncodingAndTheLineEndings) {
    // "Café", the euro sign and a right quote as a Windows machine wrote them.
    ProfileFile ini =
        fileWith("[cat 1]\r\nName=Caf\xE9 \x80 \x92s\r\n\r\n[global]\r\ncallsign=WXYZ\r\n");
    const QString cafe = QString::fromUtf8("Café € ’s");
    EXPECT_EQ(ini.Read("cat 1", "Name", "?", 75), cafe);
    ASSERT_TRUE(ini.Write("global", "callsign", QString::fromUtf8("Zürich")));
    ASSERT_TRUE(ini.Write("cat 1", "Path", "/srv"));
    EXPECT_EQ(bytesOf(), "[cat 1]\r\nName=Caf\xE9 \x80 \x92s\r\nPath=/srv\r\n\r\n"
                         "[global]\r\ncallsign=Z\xFCrich\r\n");
    // Text the code page cannot hold turns the whole file into UTF-8, every line kept.
    ASSERT_TRUE(ini.Write("cat 2", "Name", QString::fromUtf8("ニュース")));
    EXPECT_EQ(bytesOf(), QString::fromUtf8("[cat 1]\r\nName=Café € ’s\r\nPath=/srv\r\n\r\n"
                                           "[global]\r\ncallsign=Zürich\r\n[cat 2]\r\n"
                                           "Name=ニュース\r\n")
                             .toUtf8());
    EXPECT_EQ(ini.Read("cat 1", "Name", "?", 75), cafe);

    ini = fileWith("\xEF\xBB\xBF[cat 1]\nName=Caf\xC3\xA9\n");
    EXPECT_EQ(ini.Read("cat 1", "Name", "?", 75), QString::fromUtf8("Café"));
    ASSERT_TRUE(ini.Write("cat 1", "Name", "News"));
    EXPECT_EQ(bytesOf(), "\xEF\xBB\xBF[cat 1]\nName=News\n");
}

TEST_F(ProfileFileTest, BinaryJunkAndAOneMegabyteLineAreReadWithoutACrash) {
    QByteArray junk; // every byte value, including NUL, '\n', '[', ']' and '='
    for (quint32 i = 0, state = 12345; i < 200000; ++i)
        junk.append(char((state = state * 1664525u + 1013904223u) >> 24));
    ProfileFile ini = fileWith(junk);
    for (const QString& section : {QStringLiteral("cat 1"), QStringLiteral("global"), QString()})
        EXPECT_LE(ini.Read(section, "Name", "?", 75).size(), 74 * 2);
    EXPECT_EQ(ini.Read("zz no such", "Name", "?", 75), "?");
    ASSERT_TRUE(ini.Write("zz no such", "Name", "found"));
    EXPECT_EQ(ini.Read("zz no such", "Name", "?", 75), "found");
    EXPECT_TRUE(bytesOf().startsWith(junk));

    const QByteArray huge(1 << 20, 'x');
    ProfileFile big = fileWith(huge + "\n[cat 1]\nName=" + huge + "\nPath=" + huge);
    EXPECT_EQ(big.Read("cat 1", "Path", "?", 80), QString(79, 'x'));
    ASSERT_TRUE(big.Write("cat 1", "Name", "short"));
    EXPECT_EQ(bytesOf(), huge + "\n[cat 1]\nName=short\nPath=" + huge);
}

TEST_F(ProfileFileTest, RefusedOrFailedWritesKeepTheOldFileAndLeaveNoTemporaryFile) {
    const QByteArray before = "[cat 1]\nName=Jingles\n; keep\n";
    ProfileFile ini = fileWith(before);
    for (const char* row :
         {"cat 1|Name|two\nlines", "cat 1|Name|cr\rhere", "cat 1|Name|end\r\n", "cat 1]\n[x|Name|v",
          "|Name|v", "cat 1|Na=me|v", "cat 1|;Name|v", "cat 1| Name|v", "cat 1||v"}) {
        const QStringList f = QString::fromUtf8(row).split('|');
        expectRefused(ini.Write(f[0], f[1], f[2]));
    }

    // Root writes into any folder whatever its permissions, so the failure is made by the
    // file-size limit: the temporary file cannot grow past 8 bytes, as on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = ini.Write("cat 1", "Path", "/srv/jingles");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(result.error.endsWith(": File too large")) << result.error.toStdString();

    if (geteuid() != 0) { // a read-only folder refuses the temporary file
        const auto rx = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
        ASSERT_TRUE(QFile::setPermissions(m_dir.path(), rx));
        expectRefused(ini.Write("cat 1", "Name", "Promos"));
        QFile::setPermissions(m_dir.path(), rx | QFileDevice::WriteOwner);
    }
    EXPECT_EQ(bytesOf(), before);
    EXPECT_EQ(entries(), QStringList{"Vidav.ini"});
}

TEST_F(ProfileFileTest, FirstWriteCreatesTheFolderButNothingElseIsReplaced) {
    ProfileFile ini(path("var/lib/airloom/Vidav.ini"));
    const auto result = ini.Write("deck 3", "Mode", "Loop");
    ASSERT_TRUE(result.ok && result.error.isEmpty()) << result.error.toStdString();
    EXPECT_EQ(Fixtures::bytes(ini.filePath()), "[deck 3]\nMode=Loop\n");
    EXPECT_EQ(entries(), QStringList{"var"});
    EXPECT_EQ(QDir(QFileInfo(ini.filePath()).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Vidav.ini"}); // no temporary file left behind
    // Shared by the studio's users: a new file is group-writable, an existing one keeps its
    // permissions.
    EXPECT_TRUE(QFile::permissions(ini.filePath()) & QFileDevice::WriteGroup);
    QFile::setPermissions(ini.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(ini.Write("deck 3", "Mode", "Norm").ok);
    EXPECT_FALSE(QFile::permissions(ini.filePath()) & QFileDevice::WriteGroup);

    ASSERT_TRUE(QDir(m_dir.path()).mkdir("Vidav.ini"));
    ProfileFile folder(path());
    EXPECT_EQ(folder.Read("cat 1", "Name", "?", 75), "?");
    expectRefused(folder.Write("cat 1", "Name", "Jingles"));
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

// A FIFO where the settings file or the category list should be blocks nothing: a read
// gives the default, a write fails with the reason. A file where the folder dtb should be
// gives the system's reason.
TEST_F(ProfileFileTest, AFifoInPlaceOfAFileBlocksNothing) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0644), 0);
    ProfileFile ini(path());
    EXPECT_EQ(ini.Read("cat 1", "Name", "?", 75), "?");
    EXPECT_EQ(ini.Write("cat 1", "Name", "Jingles").error,
              "Cannot read " + path() + ": not a regular file");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("dtb"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("dtb/cats.db")).constData(), 0644), 0);
    EXPECT_EQ(CategoryList(path()).AppendTitle("Promos").error,
              "Cannot write " + path("dtb/cats.db") + ": not a regular file");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("b"));
    fileWith("", "b/dtb");
    EXPECT_EQ(CategoryList(path("b/Vidav.ini")).AppendTitle("Promos").error,
              "Cannot write " + path("b/dtb/cats.db") + ": Not a directory");
}

// Every station option given but not usable is named with what is used instead; the
// values that are understood say nothing.
TEST_F(ProfileFileTest, MistypedStationOptionsAreNamedWithWhatIsUsedInstead) {
    for (const char* warning : {"-5", "1e309", "10s"}) {
        const ExtraSettings extras = ExtraSettings::Read(
            fileWith(QByteArray("[global]\nEndWarning=") + warning + "\n[log]\nEnabled=yes\n"));
        EXPECT_EQ(extras.endWarningSeconds, 0);
        EXPECT_TRUE(extras.problems.startsWith("[global] EndWarning in the settings file:") &&
                    extras.problems.endsWith(
                        QString("not '%1'; the end-of-cart warning is off.\n").arg(warning)));
    }
    for (const char* target : {"abc", "nan", "-23 LUFS", "-23,0", "9"}) {
        const ExtraSettings extras =
            ExtraSettings::Read(fileWith(QByteArray("[audio]\nLoudnessTarget=") + target));
        EXPECT_FALSE(extras.loudnessTarget);
        EXPECT_TRUE(extras.problems.endsWith(QString("not '%1'; levelling is off.\n").arg(target)))
            << extras.problems.toStdString();
    }
    ExtraSettings extras = ExtraSettings::Read(fileWith("[log]\nEnabled=maybe\n"));
    EXPECT_TRUE(extras.logEnabled &&
                extras.problems.endsWith("not 'maybe'; the as-run log is on.\n"));
    extras = ExtraSettings::Read(
        fileWith("[log]\nEnabled=Off\n[global]\nEndWarning=0\n[audio]\nLoudnessTarget=-23.5"));
    EXPECT_EQ(std::tuple(extras.logEnabled, extras.endWarningSeconds, *extras.loudnessTarget,
                         extras.problems),
              std::tuple(false, 0, -23.5, QString()));
}

} // namespace
