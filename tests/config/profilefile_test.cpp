#include "config/profilefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QString path(const QString& name = QStringLiteral("Vidav.ini")) const {
        return m_dir.filePath(name);
    }

    static void put(const QString& filePath, const QByteArray& bytes) {
        QFile file(filePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray bytesOf(const QString& filePath) {
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArrayLiteral("<missing>");
        return file.readAll();
    }

    // A file of the given bytes, opened as the settings file.
    ProfileFile fileWith(const QByteArray& bytes) {
        put(path(), bytes);
        return ProfileFile(path());
    }

    QStringList entries() const {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
};

const QString kName = QStringLiteral("Name");
const QString kCat1 = QStringLiteral("cat 1");
const QString kDef = QStringLiteral("Not Configured");

TEST_F(ProfileFileTest, BlanksAndOnePairOfQuotesAreRemoved) {
    const ProfileFile ini = fileWith("[cat 1]\n"
                                     "Name = \t Jingles \t \n"
                                     "Path=  \"  /srv/carts  \"  \n"
                                     "[cat 2]\n"
                                     "Name=\"\"Twice\"\"\n"
                                     "Path=\"open\n"
                                     "[cat 3]\n"
                                     "Name=\"\n"
                                     "Path=\"\"\n"
                                     "[cat 4]\n"
                                     "Name=in \"the\" middle\n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 80), "Jingles");
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 80), "  /srv/carts  ");
    EXPECT_EQ(ini.Read("cat 2", kName, kDef, 80), "\"Twice\"");
    EXPECT_EQ(ini.Read("cat 2", "Path", "/", 80), "\"open");
    EXPECT_EQ(ini.Read("cat 3", kName, kDef, 80), "\"");
    EXPECT_EQ(ini.Read("cat 3", "Path", "/", 80), "");
    EXPECT_EQ(ini.Read("cat 4", kName, kDef, 80), "in \"the\" middle");
}

TEST_F(ProfileFileTest, SectionAndKeyNamesMatchWithoutRegardToCase) {
    const ProfileFile ini = fileWith("[GLOBAL]\nCALLSIGN=wkrp\n[Deck 10]\nmode=Loop\n");
    EXPECT_EQ(ini.Read("global", "callsign", "WXYZ", 75), "wkrp");
    EXPECT_EQ(ini.Read("deck 10", "Mode", "Norm", 80), "Loop");
    EXPECT_EQ(ini.Read("deck 1", "Mode", "Norm", 80), "Norm"); // "deck 1" is not "deck 10"
}

TEST_F(ProfileFileTest, CapacityCutsTheValueWithoutSplittingACharacter) {
    const QString eighty = QString(80, QLatin1Char('n'));
    const QString accented = QString(79, QChar(0xE9)); // two UTF-8 bytes each
    // 73 letters then a character outside the basic plane: the pair is the 74th character.
    const QString emoji = QString::fromUcs4(U"\U0001F4FB");
    const QString pairAt74 = QString(73, QLatin1Char('a')) + emoji + "zz";
    const QString pairAt75 = QString(74, QLatin1Char('a')) + emoji;
    const ProfileFile ini =
        fileWith("[cat 1]\nName=" + eighty.toUtf8() + "\nPath=" + accented.toUtf8() +
                 "\n[cat 2]\nName=" + pairAt74.toUtf8() + "\nPath=" + pairAt75.toUtf8() +
                 "\n[cat 3]\nName=\"" + eighty.toUtf8() + "\"\n");

    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), eighty.left(74));
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 80), eighty.left(79));
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 75), accented.left(74));
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 80), accented);
    EXPECT_EQ(ini.Read("cat 2", kName, kDef, 75), QString(73, QLatin1Char('a')) + emoji);
    EXPECT_EQ(ini.Read("cat 2", "Path", "/", 75), QString(74, QLatin1Char('a')));
    // Quotes are removed before the cut.
    EXPECT_EQ(ini.Read("cat 3", kName, kDef, 75), eighty.left(74));
    // A default is cut the same way.
    EXPECT_EQ(ini.Read("cat 9", kName, eighty, 75), eighty.left(74));
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 1), "");
}

TEST_F(ProfileFileTest, DefaultsForMissingFileSectionOrKeyButNotForAnEmptyValue) {
    const ProfileFile missing(path(QStringLiteral("none/Vidav.ini")));
    EXPECT_EQ(missing.Read(kCat1, kName, kDef, 75), kDef);

    const ProfileFile ini = fileWith("Name=before any section\n"
                                     "[cat 1]\n"
                                     "Name=\n"
                                     "Path\n"
                                     ";Mode=commented\n"
                                     "  ; Other=commented too\n"
                                     "[cat 2]\n"
                                     "Name =   \n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), "");
    EXPECT_EQ(ini.Read("cat 2", kName, kDef, 75), "");
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 75), "/"); // a line without '=' is no value
    EXPECT_EQ(ini.Read(kCat1, "Mode", "Norm", 80), "Norm");
    EXPECT_EQ(ini.Read(kCat1, "Other", "x", 80), "x");
    EXPECT_EQ(ini.Read("cat 3", kName, kDef, 75), kDef);
    EXPECT_EQ(ini.Read("", kName, kDef, 75), kDef); // keys before the first section
}

TEST_F(ProfileFileTest, SectionWithoutTheSpaceIsAnotherSection) {
    const QByteArray before = "[cat1]\nName=Squeezed\n[deck1]\nMode=Loop\n";
    ProfileFile ini = fileWith(before);
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), kDef);
    EXPECT_EQ(ini.Read("deck 1", "Mode", "Norm", 80), "Norm");

    ASSERT_TRUE(ini.Write(kCat1, kName, "Spaced"));
    EXPECT_EQ(bytesOf(path()), before + "[cat 1]\nName=Spaced\n");
    EXPECT_EQ(ini.Read("cat1", kName, kDef, 75), "Squeezed");
}

TEST_F(ProfileFileTest, CrlfAndLfFilesReadAlikeAndWritesKeepTheirLineEndings) {
    ProfileFile crlf = fileWith("[cat 1]\r\nName=Jingles\r\n\r\n[global]\r\ncallsign=KXYZ\r\n");
    EXPECT_EQ(crlf.Read(kCat1, kName, kDef, 75), "Jingles");
    EXPECT_EQ(crlf.Read("global", "callsign", "WXYZ", 75), "KXYZ");
    ASSERT_TRUE(crlf.Write(kCat1, "Path", "/srv/jingles"));
    ASSERT_TRUE(crlf.Write("deck 1", "Mode", "Seqnc"));
    EXPECT_EQ(bytesOf(path()), "[cat 1]\r\nName=Jingles\r\nPath=/srv/jingles\r\n\r\n"
                               "[global]\r\ncallsign=KXYZ\r\n[deck 1]\r\nMode=Seqnc\r\n");

    ProfileFile lf = fileWith("[cat 1]\nName=Jingles\n\n[global]\ncallsign=KXYZ\n");
    ASSERT_TRUE(lf.Write(kCat1, "Path", "/srv/jingles"));
    ASSERT_TRUE(lf.Write("deck 1", "Mode", "Seqnc"));
    EXPECT_EQ(bytesOf(path()), "[cat 1]\nName=Jingles\nPath=/srv/jingles\n\n"
                               "[global]\ncallsign=KXYZ\n[deck 1]\nMode=Seqnc\n");
}

TEST_F(ProfileFileTest, SameKeyInAnotherSectionIsNotConfused) {
    ProfileFile ini = fileWith("[cat 1]\nName=Jingles\nPath=Name=odd\n"
                               "[cat 2]\nName=Promos\n");
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 80), "Name=odd");
    EXPECT_EQ(ini.Read("cat 2", kName, kDef, 80), "Promos");
    EXPECT_EQ(ini.Read("cat 2", "Path", "/", 80), "/");

    ASSERT_TRUE(ini.Write("cat 2", kName, "Jingles"));
    ASSERT_TRUE(ini.Write("cat 2", "Path", "/srv/promos"));
    EXPECT_EQ(bytesOf(path()), "[cat 1]\nName=Jingles\nPath=Name=odd\n"
                               "[cat 2]\nName=Jingles\nPath=/srv/promos\n");
}

TEST_F(ProfileFileTest, FirstOfDuplicatedSectionsAndKeysWins) {
    ProfileFile ini = fileWith("[cat 1]\nName=First\nName=Second\n[CAT 1]\nName=Third\n"
                               "Path=/later\n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), "First");
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 75), "/");

    ASSERT_TRUE(ini.Write(kCat1, kName, "New"));
    ASSERT_TRUE(ini.Write(kCat1, "Path", "/srv"));
    EXPECT_EQ(bytesOf(path()), "[cat 1]\nName=New\nName=Second\nPath=/srv\n[CAT 1]\nName=Third\n"
                               "Path=/later\n");
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 75), "/srv");
}

TEST_F(ProfileFileTest, WriteReplacesOnlyTheValueAndKeepsEveryOtherLine) {
    const QByteArray before = "; Airloom studio B\n"
                              "junk line without equals\n"
                              "orphan=before any section\n"
                              "[cat 1]\n"
                              "  NAME = \"Old name\"  \n"
                              "Path=/srv/old\n"
                              "; keep me\n"
                              "\n"
                              "[unknown]\n"
                              "whatever = 1\n"
                              "[cat 2]\n"
                              "Name=Promos"; // no line ending at the end of the file
    ProfileFile ini = fileWith(before);
    ASSERT_TRUE(ini.Write(kCat1, kName, "New name"));
    ASSERT_TRUE(ini.Write(kCat1, "Extra", "1"));
    ASSERT_TRUE(ini.Write("cat 2", "Path", "/srv/promos"));
    ASSERT_TRUE(ini.Write("global", "callsign", "wkrp"));
    EXPECT_EQ(bytesOf(path()), "; Airloom studio B\n"
                               "junk line without equals\n"
                               "orphan=before any section\n"
                               "[cat 1]\n"
                               "  NAME = New name\n"
                               "Path=/srv/old\n"
                               "Extra=1\n"
                               "; keep me\n"
                               "\n"
                               "[unknown]\n"
                               "whatever = 1\n"
                               "[cat 2]\n"
                               "Name=Promos\n"
                               "Path=/srv/promos\n"
                               "[global]\n"
                               "callsign=wkrp\n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), "New name");
    EXPECT_EQ(ini.Read("unknown", "whatever", "", 75), "1");
}

TEST_F(ProfileFileTest, EmptyValueIsWrittenAndReadBackAsEmpty) {
    ProfileFile ini(path());
    ASSERT_TRUE(ini.Write(kCat1, kName, ""));
    EXPECT_EQ(bytesOf(path()), "[cat 1]\nName=\n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), "");
}

TEST_F(ProfileFileTest, FirstWriteCreatesFolderFileSectionAndKey) {
    ProfileFile ini(path(QStringLiteral("var/lib/airloom/Vidav.ini")));
    const auto result = ini.Write("deck 3", "Mode", "Loop");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(bytesOf(ini.filePath()), "[deck 3]\nMode=Loop\n");
    EXPECT_EQ(ini.Read("DECK 3", "MODE", "Norm", 80), "Loop");
    EXPECT_EQ(entries(), QStringList{"var"});
    EXPECT_EQ(QDir(QFileInfo(ini.filePath()).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"Vidav.ini"}); // no temporary file left behind
}

TEST_F(ProfileFileTest, ValuesAndNamesThatCannotBeStoredAreRefused) {
    const QByteArray before = "[cat 1]\nName=Jingles\n";
    ProfileFile ini = fileWith(before);
    for (const QString& value :
         {QStringLiteral("two\nlines"), QStringLiteral("cr\rhere"), QStringLiteral("end\r\n")}) {
        const auto result = ini.Write(kCat1, kName, value);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
    }
    EXPECT_FALSE(ini.Write("cat 1]\n[x", kName, "v"));
    EXPECT_FALSE(ini.Write("", kName, "v"));
    EXPECT_FALSE(ini.Write(kCat1, "Na=me", "v"));
    EXPECT_FALSE(ini.Write(kCat1, ";Name", "v"));
    EXPECT_FALSE(ini.Write(kCat1, " Name", "v"));
    EXPECT_FALSE(ini.Write(kCat1, "", "v"));
    EXPECT_EQ(bytesOf(path()), before);
    EXPECT_EQ(entries(), QStringList{"Vidav.ini"});
}

TEST_F(ProfileFileTest, BinaryJunkAndAOneMegabyteLineAreReadWithoutACrash) {
    // Deterministic junk with every byte value, including NUL, '\n', '[', ']' and '='.
    QByteArray junk;
    quint32 state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1664525u + 1013904223u;
        junk.append(char(state >> 24));
    }
    ProfileFile ini = fileWith(junk);
    EXPECT_EQ(ini.Read("zz no such", kName, kDef, 75), kDef);
    for (const QString& section : {kCat1, QStringLiteral("global"), QString()})
        EXPECT_LE(ini.Read(section, kName, kDef, 75).size(), 74 * 2);
    ASSERT_TRUE(ini.Write("zz no such", kName, "found"));
    EXPECT_EQ(ini.Read("zz no such", kName, kDef, 75), "found");
    EXPECT_TRUE(bytesOf(path()).startsWith(junk));

    const QByteArray huge(1 << 20, 'x');
    ProfileFile big = fileWith(huge + "\n[cat 1]\nName=" + huge + "\nPath=" + huge);
    EXPECT_EQ(big.Read(kCat1, kName, kDef, 75), QString(74, QLatin1Char('x')));
    EXPECT_EQ(big.Read(kCat1, "Path", "/", 80), QString(79, QLatin1Char('x')));
    ASSERT_TRUE(big.Write(kCat1, kName, "short"));
    EXPECT_EQ(bytesOf(path()), huge + "\n[cat 1]\nName=short\nPath=" + huge);
}

TEST_F(ProfileFileTest, WindowsFileIsReadAsWindows1252AndKeptSoWhileTheTextFits) {
    // "Café", the euro sign and a right quote as a Windows machine wrote them.
    const QByteArray before = "[cat 1]\r\nName=Caf\xE9 \x80 \x92s\r\n[global]\r\ncallsign=WXYZ\r\n";
    ProfileFile ini = fileWith(before);
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), QString::fromUtf8("Café € ’s"));

    ASSERT_TRUE(ini.Write("global", "callsign", QString::fromUtf8("Zürich")));
    EXPECT_EQ(bytesOf(path()),
              "[cat 1]\r\nName=Caf\xE9 \x80 \x92s\r\n[global]\r\ncallsign=Z\xFCrich\r\n");

    // Text the code page cannot hold turns the whole file into UTF-8, every line kept.
    ASSERT_TRUE(ini.Write("cat 2", kName, QString::fromUtf8("ニュース")));
    EXPECT_EQ(bytesOf(path()), QString::fromUtf8("[cat 1]\r\nName=Café € ’s\r\n[global]\r\n"
                                                 "callsign=Zürich\r\n[cat 2]\r\nName=ニュース\r\n")
                                   .toUtf8());
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), QString::fromUtf8("Café € ’s"));
    EXPECT_EQ(ini.Read("cat 2", kName, kDef, 75), QString::fromUtf8("ニュース"));
}

TEST_F(ProfileFileTest, Utf8FileWithByteOrderMarkReadsItsFirstSection) {
    ProfileFile ini = fileWith("\xEF\xBB\xBF[cat 1]\nName=Caf\xC3\xA9\n");
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), QString::fromUtf8("Café"));
    ASSERT_TRUE(ini.Write(kCat1, kName, "News"));
    EXPECT_EQ(bytesOf(path()), "\xEF\xBB\xBF[cat 1]\nName=News\n");
}

TEST_F(ProfileFileTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const QByteArray before = "[cat 1]\nName=Jingles\n; keep\n";
    ProfileFile ini = fileWith(before);

    // Root writes into any folder whatever its permissions, so the failure is made by the
    // file-size limit: the temporary file cannot grow past 8 bytes, as on a full disk.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 8;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = ini.Write(kCat1, "Path", "/srv/jingles");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(bytesOf(path()), before);
    EXPECT_EQ(entries(), QStringList{"Vidav.ini"});
    EXPECT_EQ(ini.Read(kCat1, "Path", "/", 80), "/");
}

TEST_F(ProfileFileTest, WriteFailsWhenTheFolderCannotBeCreated) {
    put(path(QStringLiteral("plain")), "not a folder");
    ProfileFile ini(path(QStringLiteral("plain/Vidav.ini")));
    const auto result = ini.Write(kCat1, kName, "Jingles");
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(bytesOf(path(QStringLiteral("plain"))), "not a folder");
    EXPECT_EQ(entries(), QStringList{"plain"});
}

TEST_F(ProfileFileTest, WriteFailsWhenTheSettingsPathIsAFolder) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("Vidav.ini")));
    ProfileFile ini(path());
    EXPECT_EQ(ini.Read(kCat1, kName, kDef, 75), kDef);
    EXPECT_FALSE(ini.Write(kCat1, kName, "Jingles"));
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

TEST_F(ProfileFileTest, WriteFailsInAReadOnlyFolder) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the file-size limit test covers "
                        "a failed write for root";
    const QByteArray before = "[cat 1]\nName=Jingles\n";
    ProfileFile ini = fileWith(before);
    ASSERT_TRUE(
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto result = ini.Write(kCat1, kName, "Promos");
    QFile::setPermissions(m_dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(bytesOf(path()), before);
    EXPECT_EQ(entries(), QStringList{"Vidav.ini"});
}

} // namespace
