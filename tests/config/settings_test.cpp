#include "config/settings.h"
#include "support/apprig.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// The settings of the program before its start, over no file: the library's LoadSettings
// fills the tabs, the list and Label3 from them.
class StationSettingsTest : public ::testing::Test, public AppRig {
protected:
    StationSettingsTest() : AppRig(false) { QFile::remove(iniPath); }
    // The tab captions and the names held, which must agree after every load.
    void expectNames(const QStringList& expected) const {
        ASSERT_EQ(tabs.Count(), 10);
        for (int i = 1; i <= 10; ++i) {
            EXPECT_EQ(tabs.Caption(i), expected[i - 1]) << i;
            EXPECT_EQ(station.CategoryNames(i), expected[i - 1]) << i;
        }
    }

    CategoryTabs& tabs = app->tabs();
    CartList& list = app->cartList();
    StationSettings& station = app->settings();
    QSignalSpy m_label3{&station, &StationSettings::callLettersChanged};
};

TEST_F(StationSettingsTest, LoadSettingsFromNoFileABadFolderThenAGoodOne) {
    EXPECT_EQ(station.CategoryNames(1), ""); // nothing before the first load
    app->library().LoadSettings();
    expectNames(QStringList(10, "Not Configured"));
    EXPECT_EQ(list.Path() + "|" + station.callLetters(), "/|WXYZ");
    EXPECT_TRUE(m_label3.count() == 1 && boxes.shown.isEmpty() && !QFile::exists(iniPath));

    writeIni("[cat 1]\nName=Jingles\nPath=/no/such/folder\n[cat 2]\nName=\n[cat 3]\nName=" +
             QString(80, 'N') +
             "\n[cat4]\nName=No space\n[cat 10]\nName=Ten\n[global]\ncallsign=wkrp\n");
    tabs.Select(3);
    app->library().LoadSettings();
    EXPECT_EQ(boxes.shown,
              QStringList{"File path/access error!|Please check your category directory path.|16"});
    // The tabs were rebuilt before the failure; the list and the call letters stay.
    const QString n = "Not Configured";
    const QStringList names = {"Jingles", "", QString(74, 'N'), n, n, n, n, n, n, "Ten"};
    expectNames(names);
    EXPECT_EQ(tabs.SelectedIndex(), 1);
    EXPECT_EQ(list.Path() + "|" + station.callLetters(), "/|WXYZ");
    EXPECT_EQ(m_label3.count(), 1);

    ASSERT_TRUE(app->profile().Write("cat 1", "Path", carts));
    app->library().LoadSettings();
    EXPECT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(list.Path() + "|" + station.callLetters(), carts + "|wkrp"); // the case kept
    EXPECT_EQ(m_label3, (QList<QList<QVariant>>{{"WXYZ"}, {"wkrp"}}));
}

TEST_F(StationSettingsTest, StoredModesAreDecodedByTheirFirstCharacter) {
    writeIni("[deck 1]\nMode=seqnc\n[deck 2]\nMode=L\n[deck 3]\nMode=\n[deck 4]\nMode=Xylophone\n"
             "[deck 5]\nMode=   loop   \n[deck 6]\nMode=\"Sequence\"\n[deck7]\nMode=Loop\n"
             "[deck 8]\nMode=no\n[deck 10]\nMode=Stop\n");
    const QStringList expected = {"Seqnc", "Loop", "Norm", "Norm", "Loop",
                                  "Seqnc", "Norm", "Norm", "Norm", "Seqnc"};
    for (int deck = 1; deck <= 10; ++deck)
        EXPECT_EQ(station.DeckDefaultMode(deck), expected[deck - 1]) << deck;
    EXPECT_EQ(DeckModeIndex(" Loop"), 0); // only the first character counts
}

TEST_F(StationSettingsTest, SaveDeckModeWritesTheWordUnlessTheWindowIsLoading) {
    station.setConfigLoading(true); // the window's own selection of the stored modes
    EXPECT_TRUE(station.SaveDeckMode(2, 2).ok && !QFile::exists(iniPath));
    station.setConfigLoading(false);
    for (const auto& [deck, mode] : {std::pair{2, 2}, {10, 1}, {1, 0}})
        ASSERT_TRUE(station.SaveDeckMode(deck, mode));
    EXPECT_EQ(Fixtures::bytes(iniPath),
              "[deck 2]\nMode=Loop\n[deck 10]\nMode=Seqnc\n[deck 1]\nMode=Norm\n");
}

} // namespace
