#include "config/settings.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class StationSettingsTest : public ::testing::Test {
protected:
    QByteArray iniBytes() const {
        QFile file(m_file.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<missing>");
    }
    void writeIni(const QByteArray& bytes) {
        QFile file(m_file.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    // The tab captions and the names held, which must agree after every load.
    void expectNames(const QStringList& expected) const {
        ASSERT_EQ(m_tabs.Count(), 10);
        for (int i = 1; i <= 10; ++i) {
            EXPECT_EQ(m_tabs.Caption(i), expected[i - 1]) << i;
            EXPECT_EQ(m_settings.CategoryNames(i), expected[i - 1]) << i;
        }
    }

    QTemporaryDir m_dir;
    ProfileFile m_file{m_dir.filePath(QStringLiteral("Vidav.ini"))};
    CategoryTabs m_tabs;
    CartList m_cartList;
    ScriptedMessageBoxes m_boxes;
    StationSettings m_settings{m_file, m_tabs, m_cartList, m_boxes};
    QSignalSpy m_label3{&m_settings, &StationSettings::label3Changed};
};

// No file: the defaults, and nothing written. A bad folder for category 1: the tabs are
// rebuilt (names cut at the main window's capacity), reported, the list and call letters
// stay. A folder path longer than any read capacity is used whole.
TEST_F(StationSettingsTest, LoadSettingsFromNoFileABadFolderThenAGoodOne) {
    m_settings.LoadSettings();
    expectNames(QStringList(10, "Not Configured"));
    EXPECT_EQ(m_settings.CategoryNames(11), "");
    EXPECT_EQ(m_cartList.Path(), "/");
    EXPECT_EQ(m_settings.Label3(), "WXYZ");
    EXPECT_TRUE(m_boxes.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(m_file.filePath()));

    writeIni("[cat 1]\r\nName=Jingles\r\nPath=/no/such/folder\r\n[cat 2]\r\nName=\r\n[cat 3]\r\n"
             "Name=" +
             QByteArray(80, 'N') + "\r\n[cat4]\r\nName=No space\r\n[global]\r\ncallsign=wkrp\r\n");
    m_tabs.Select(3);
    m_settings.LoadSettings();
    ASSERT_EQ(m_boxes.shown.size(), 1);
    EXPECT_EQ(m_boxes.shown[0].caption, "File path/access error!");
    QStringList names(10, "Not Configured");
    names[0] = "Jingles";
    names[1] = "";
    names[2] = QString(SettingsKeys::kMainCapacity - 1, 'N');
    expectNames(names);
    EXPECT_EQ(m_tabs.SelectedIndex(), 1);
    EXPECT_EQ(m_cartList.Path(), "/");
    EXPECT_EQ(m_label3.count(), 1);

    const QString carts = m_dir.filePath("studio-b/" + QString(90, 'f'));
    ASSERT_TRUE(QDir().mkpath(carts));
    ASSERT_TRUE(QFile(carts + "/promo.mp3").open(QIODevice::WriteOnly));
    ASSERT_TRUE(m_file.Write("cat 1", "Path", carts));
    m_settings.LoadSettings();
    EXPECT_EQ(m_boxes.shown.size(), 1);
    EXPECT_EQ(m_cartList.names(), QStringList{"promo.mp3"});
    ASSERT_EQ(m_label3.count(), 2);
    EXPECT_EQ(m_label3.at(1).at(0).toString(), "wkrp"); // no change of case
}

TEST_F(StationSettingsTest, StoredModesAreDecodedByTheirFirstCharacter) {
    writeIni("[deck 1]\nMode=seqnc\n[deck 2]\nMode=L\n[deck 3]\nMode=\n[deck 4]\nMode=Xylophone\n"
             "[deck 5]\nMode=   loop   \n[deck 6]\nMode=\"Sequence\"\n[deck7]\nMode=Loop\n"
             "[deck 8]\nMode=no\n[deck 10]\nMode=Stop\n");
    const QStringList expected = {"Seqnc", "Loop", "Norm", "Norm", "Loop",
                                  "Seqnc", "Norm", "Norm", "Norm", "Seqnc"};
    for (int deck = 1; deck <= 10; ++deck)
        EXPECT_EQ(m_settings.DeckDefaultMode(deck), expected[deck - 1]) << deck;
    EXPECT_EQ(DeckModeIndex(" Loop"), 0); // only the first character counts
}

TEST_F(StationSettingsTest, SaveDeckModeWritesTheWordUnlessTheWindowIsLoading) {
    m_settings.setConfigLoading(true);
    EXPECT_TRUE(m_settings.SaveDeckMode(2, 2).ok);
    EXPECT_FALSE(QFile::exists(m_file.filePath())); // opening the window writes nothing
    m_settings.setConfigLoading(false);

    writeIni("; studio B\n[deck 2]\nMode=Norm\n[global]\ncallsign=KXYZ\n");
    for (const auto& [deck, mode] : {std::pair{2, 2}, {10, 1}, {1, 0}})
        ASSERT_TRUE(m_settings.SaveDeckMode(deck, mode));
    const QByteArray after = "; studio B\n[deck 2]\nMode=Loop\n[global]\ncallsign=KXYZ\n"
                             "[deck 10]\nMode=Seqnc\n[deck 1]\nMode=Norm\n";
    EXPECT_EQ(iniBytes(), after);
    for (const auto& [deck, mode] : {std::pair{0, 1}, {11, 1}, {3, 3}, {3, -1}})
        EXPECT_FALSE(m_settings.SaveDeckMode(deck, mode).ok) << deck << " " << mode;
    EXPECT_EQ(iniBytes(), after);
}

} // namespace
