#include "audio/audioengine.h"
#include "audio/manualdevice.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/eventpump.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

class StationSettingsTest : public ::testing::Test {
protected:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("etc/Vidav.ini")); }

    void writeIni(const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("etc"))));
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray iniBytes() const {
        QFile file(iniPath());
        if (!file.open(QIODevice::ReadOnly))
            return QByteArrayLiteral("<missing>");
        return file.readAll();
    }

    // A folder of carts (and one file that is not a cart) under the temporary folder.
    QString makeCartFolder(const QString& name) {
        const QString folder = m_dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const char* file : {"Top Of Hour.wav", "promo.MP3", "notes.txt"}) {
            QFile cart(folder + '/' + QString::fromLatin1(file));
            EXPECT_TRUE(cart.open(QIODevice::WriteOnly));
        }
        return folder;
    }

    QStringList captions() const {
        QStringList all;
        for (int i = 1; i <= m_tabs.Count(); ++i)
            all << m_tabs.Caption(i);
        return all;
    }

    QTemporaryDir m_dir;
    ProfileFile m_file{iniPath()};
    CategoryTabs m_tabs;
    CartList m_cartList;
    ScriptedMessageBoxes m_boxes;
    StationSettings m_settings{m_file, m_tabs, m_cartList, m_boxes};
};

TEST_F(StationSettingsTest, MissingFileGivesTheDefaultsAndCreatesNothing) {
    QSignalSpy label3(&m_settings, &StationSettings::label3Changed);
    EXPECT_EQ(m_settings.CategoryNames(1), ""); // nothing before the first load
    EXPECT_EQ(m_settings.Label3(), "");

    m_settings.LoadSettings();

    EXPECT_EQ(captions(), QStringList(10, QStringLiteral("Not Configured")));
    EXPECT_EQ(m_tabs.SelectedIndex(), 1);
    for (int category = 1; category <= 10; ++category)
        EXPECT_EQ(m_settings.CategoryNames(category), "Not Configured");
    EXPECT_EQ(m_settings.CategoryNames(0), "");
    EXPECT_EQ(m_settings.CategoryNames(11), "");
    EXPECT_EQ(m_cartList.Path(), "/");
    EXPECT_EQ(m_settings.Label3(), "WXYZ");
    ASSERT_EQ(label3.count(), 1);
    EXPECT_EQ(label3.at(0).at(0).toString(), "WXYZ");
    for (int deck = 1; deck <= 10; ++deck)
        EXPECT_EQ(m_settings.DeckDefaultMode(deck), "Norm");
    EXPECT_TRUE(m_boxes.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(StationSettingsTest, NamesFolderAndCallLettersAreShownAsStored) {
    const QString carts = makeCartFolder(QStringLiteral("carts/jingles"));
    const QByteArray eighty(80, 'N');
    writeIni("[cat 1]\r\nName=Jingles\r\nPath=" + carts.toUtf8() +
             "\r\n"
             "[cat 2]\r\nName=\r\n"
             "[cat 3]\r\nName=" +
             eighty +
             "\r\n"
             "[cat4]\r\nName=No space\r\n"
             "[CAT 5]\r\nname = \"  Padded  \"\r\n"
             "[global]\r\ncallsign=wkrp\r\n");

    m_settings.LoadSettings();

    const QStringList expected = {"Jingles",        "",
                                  QString(74, 'N'), "Not Configured",
                                  "  Padded  ",     "Not Configured",
                                  "Not Configured", "Not Configured",
                                  "Not Configured", "Not Configured"};
    EXPECT_EQ(captions(), expected);
    for (int category = 1; category <= 10; ++category)
        EXPECT_EQ(m_settings.CategoryNames(category), expected[category - 1]);
    EXPECT_EQ(m_cartList.Path(), carts);
    EXPECT_EQ(m_cartList.names(), (QStringList{"promo.MP3", "Top Of Hour.wav"}));
    EXPECT_EQ(m_settings.Label3(), "wkrp"); // no change of case on the main window
    EXPECT_TRUE(m_boxes.shown.isEmpty());
}

TEST_F(StationSettingsTest, BadCategoryOneFolderStopsAfterTheTabs) {
    writeIni("[cat 1]\nName=Jingles\nPath=/no/such/folder\n[cat 10]\nName=Ten\n"
             "[global]\ncallsign=KXYZ\n");
    QSignalSpy label3(&m_settings, &StationSettings::label3Changed);

    m_settings.LoadSettings();

    ASSERT_EQ(m_boxes.shown.size(), 1);
    EXPECT_EQ(m_boxes.shown[0].text, "Please check your category directory path.");
    EXPECT_EQ(m_boxes.shown[0].style, MessageBoxes::kOkStop);
    EXPECT_EQ(m_boxes.shown[0].caption, "File path/access error!");
    EXPECT_EQ(m_tabs.Count(), 10);
    EXPECT_EQ(m_tabs.Caption(1), "Jingles");
    EXPECT_EQ(m_tabs.Caption(10), "Ten");
    EXPECT_EQ(m_settings.CategoryNames(10), "Ten");
    EXPECT_EQ(m_settings.Label3(), ""); // the call letters were never reached
    EXPECT_EQ(label3.count(), 0);
}

TEST_F(StationSettingsTest, ReloadFollowsTheFileAndABadFolderKeepsTheOldCallLetters) {
    const QString first = makeCartFolder(QStringLiteral("first"));
    writeIni("[cat 1]\nName=One\nPath=" + first.toUtf8() + "\n[global]\ncallsign=KXYZ\n");
    m_settings.LoadSettings();
    m_tabs.Select(3);
    ASSERT_EQ(m_settings.Label3(), "KXYZ");

    // The configuration window saved a new name, a missing folder and new call letters.
    ASSERT_TRUE(m_file.Write(QStringLiteral("cat 1"), QStringLiteral("Name"), "Uno"));
    ASSERT_TRUE(m_file.Write(QStringLiteral("cat 1"), QStringLiteral("Path"), "/gone"));
    ASSERT_TRUE(m_file.Write(QStringLiteral("global"), QStringLiteral("callsign"), "WNEW"));
    m_settings.LoadSettings();

    EXPECT_EQ(m_tabs.Count(), 10); // rebuilt, not added to
    EXPECT_EQ(m_tabs.Caption(1), "Uno");
    EXPECT_EQ(m_tabs.SelectedIndex(), 1);
    EXPECT_EQ(m_settings.CategoryNames(1), "Uno");
    EXPECT_EQ(m_boxes.shown.size(), 1);
    EXPECT_EQ(m_cartList.Path(), first); // the list stays on the last good folder
    EXPECT_EQ(m_settings.Label3(), "KXYZ");
}

TEST_F(StationSettingsTest, LongCategoryFolderIsUsedWhole) {
    // Longer than both read capacities: a cut path would name a folder that is not there.
    const QString carts = makeCartFolder(QStringLiteral("studio-b/carts/") + QString(90, 'f'));
    ASSERT_GT(carts.size(), 100);
    writeIni("[cat 1]\nPath=" + carts.toUtf8() + "\n");

    m_settings.LoadSettings();

    EXPECT_TRUE(m_boxes.shown.isEmpty());
    EXPECT_EQ(m_cartList.Path(), carts);
    EXPECT_EQ(ReadCategoryPath(m_file, 1), carts);
    EXPECT_EQ(ReadCategoryPath(m_file, 2), "/");
}

TEST_F(StationSettingsTest, StoredModesAreDecodedByTheirFirstCharacter) {
    writeIni("[deck 1]\nMode=seqnc\n"
             "[deck 2]\nMode=L\n"
             "[deck 3]\nMode=\n"
             "[deck 4]\nMode=Xylophone\n"
             "[deck 5]\nMode=   loop   \n"
             "[deck 6]\nMode=\"Sequence\"\n"
             "[deck7]\nMode=Loop\n"
             "[deck 8]\nMode=no\n"
             "[deck 10]\nMode=Stop\n");
    const QStringList expected = {"Seqnc", "Loop", "Norm", "Norm", "Loop",
                                  "Seqnc", "Norm", "Norm", "Norm", "Seqnc"};
    for (int deck = 1; deck <= 10; ++deck)
        EXPECT_EQ(m_settings.DeckDefaultMode(deck), expected[deck - 1]) << "deck " << deck;

    EXPECT_EQ(DeckModeIndex(" Loop"), 0); // only the first character counts
    EXPECT_EQ(DeckModeWord(3), "");
}

TEST_F(StationSettingsTest, SaveDeckModeWritesTheWordUnlessTheWindowIsLoading) {
    m_settings.setConfigLoading(true);
    EXPECT_TRUE(m_settings.SaveDeckMode(2, 2).ok);
    EXPECT_FALSE(QFile::exists(iniPath())); // opening the window writes nothing
    m_settings.setConfigLoading(false);

    writeIni("; studio B\n[deck 2]\nMode=Norm\n[global]\ncallsign=KXYZ\n");
    ASSERT_TRUE(m_settings.SaveDeckMode(2, 2));
    ASSERT_TRUE(m_settings.SaveDeckMode(10, 1));
    ASSERT_TRUE(m_settings.SaveDeckMode(1, 0));
    EXPECT_EQ(iniBytes(), "; studio B\n[deck 2]\nMode=Loop\n[global]\ncallsign=KXYZ\n"
                          "[deck 10]\nMode=Seqnc\n[deck 1]\nMode=Norm\n");
    EXPECT_EQ(m_settings.DeckDefaultMode(2), "Loop");
    EXPECT_EQ(m_settings.DeckDefaultMode(10), "Seqnc");

    const QByteArray before = iniBytes();
    EXPECT_FALSE(m_settings.SaveDeckMode(0, 1).ok);
    EXPECT_FALSE(m_settings.SaveDeckMode(11, 1).ok);
    EXPECT_FALSE(m_settings.SaveDeckMode(3, 3).ok);
    EXPECT_FALSE(m_settings.SaveDeckMode(3, -1).ok);
    EXPECT_EQ(iniBytes(), before);
}

TEST_F(StationSettingsTest, LoadDeckModesGivesEveryDeckItsStoredMode) {
    struct NoPump : EventPump {
        void processPendingEvents() override {}
    } pump;
    AudioEngine audio(std::make_unique<ManualDevice>());
    MciDevice player(audio);
    MciDevice preview(audio);
    DeckEngine decks(player, preview, m_cartList, pump);
    writeIni("[deck 1]\nMode=Seqnc\n[deck 2]\nMode=loop\n[deck 3]\nMode=?\n"
             "[deck4]\nMode=Loop\n[deck 10]\nMode=L\n");

    m_settings.LoadDeckModes(decks);

    const QStringList words = {"Seqnc", "Loop", "Norm", "Norm", "Norm",
                               "Norm",  "Norm", "Norm", "Norm", "Loop"};
    for (int deck = 1; deck <= 10; ++deck) {
        EXPECT_EQ(decks.ModeWord(deck), words[deck - 1]) << "deck " << deck;
        EXPECT_EQ(decks.Controls(deck).modeCaption, words[deck - 1]) << "deck " << deck;
    }
    EXPECT_EQ(decks.Controls(1).modeColour, DeckEngine::kCyan);
    EXPECT_EQ(decks.Controls(2).modeColour, DeckEngine::kRed);
    EXPECT_EQ(decks.Controls(3).modeColour, DeckEngine::kYellow);

    // A saved default changes the file, not the running decks.
    ASSERT_TRUE(m_settings.SaveDeckMode(1, 0));
    EXPECT_EQ(decks.ModeWord(1), "Seqnc");
    EXPECT_EQ(m_settings.DeckDefaultMode(1), "Norm");
}

} // namespace
