#include "config/settings.h"
#include "library/libraryrig.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kBadFolder = QStringLiteral("File path/access error!");
const QString kLoaded = QStringLiteral("File selected for delete is loaded in machine!");
const QString kConfirm = QStringLiteral("You are about to permanently delete a file!");
const QString kFailed = QStringLiteral("File could not be deleted!");

// Ten category tabs; the list shows the folder Carts and its three carts.
class CartLibraryTest : public ::testing::Test, public LibraryRig {
protected:
    void SetUp() override {
        for (int i = 1; i <= 10; ++i)
            tabs.Add(i, QStringLiteral("Category %1").arg(i));
        ASSERT_TRUE(list.setPath(folder));
    }
    void setFolder(int category, const QString& path) {
        ASSERT_TRUE(settings.Write(SettingsKeys::CategorySection(category), "Path", path));
    }
    void choose(int tab) {
        tabs.Select(tab);
        library.Form1_TabStrip1_Click();
    }
    // The caption of every box shown so far.
    QStringList captions() const {
        return boxes.lines().replaceInStrings(QRegularExpression("\\|.*"), "");
    }
    bool exists(const QString& name) const { return QFileInfo::exists(folder + "/" + name); }
    void deleteWithYes(const QString& name) {
        selectCart(name);
        boxes.answers = {MessageBoxes::kYes};
        library.DeleteCart();
    }

    const QStringList carts{"News.wav", "Station ID.wav", "Sunday.wav"};
    const QString folder = makeFolder("Carts", carts);
};

TEST_F(CartLibraryTest, TheListFollowsTheChosenTab) {
    const QString ids = makeFolder("ids", {"Station ID.wav"});
    // Used whole, as at start-up: a cut path would name a folder that is not there.
    const QString deep = makeFolder(QString(90, QLatin1Char('d')) + "/deeper", {"Right.wav"});
    setFolder(1, folder);
    setFolder(2, ids);
    setFolder(3, rigDir.filePath("gone"));
    setFolder(6, deep);

    choose(2);
    EXPECT_EQ(list.Path(), ids);
    choose(6);
    EXPECT_EQ(list.Path(), deep);
    choose(4); // no "Path": the root
    EXPECT_EQ(list.Path(), "/");
    choose(1);
    EXPECT_EQ(list.Path(), folder);
    EXPECT_TRUE(boxes.shown.isEmpty());

    // A missing folder is reported; the list and the tab stay.
    list.setListIndex(1);
    choose(3);
    EXPECT_EQ(captions(), QStringList({kBadFolder}));
    EXPECT_EQ(boxes.lines().last(), kBadFolder + "|Please check your category directory path.|16");
    EXPECT_EQ(tabs.SelectedIndex(), 3);
    EXPECT_EQ(list.Path(), folder);
    EXPECT_EQ(list.names(), carts);
    EXPECT_EQ(list.FileName(), "Station ID.wav");

    // The folder is read from the file at every choice, of the same tab too.
    setFolder(3, ids);
    library.Form1_TabStrip1_Click();
    EXPECT_EQ(list.Path(), ids);

    // A refresh reads the folder again; one that has gone is reported and the list stays.
    addCart(ids, "New.wav");
    EXPECT_TRUE(library.RefreshCartList());
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Station ID.wav"}));
    ASSERT_TRUE(QDir(ids).removeRecursively());
    EXPECT_FALSE(library.RefreshCartList());
    EXPECT_EQ(captions(), QStringList({kBadFolder, kBadFolder}));
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Station ID.wav"}));
}

TEST_F(CartLibraryTest, AFileADeckHoldsIsRefusedAndOnlyYesDeletes) {
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart(); // nothing selected: the folder is never offered
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    loadDeck(7, "Station ID.wav");
    loadDeck(10, "Sunday.wav");
    decks.ToggleDeckLock(10);
    keys.HandleFunctionKey(VirtualKey::kF10, VirtualKey::kShift); // refused by the lock
    addCart(folder, "Added.wav");                                 // shows once read again
    boxes.answers.clear();
    selectCart("Sunday.wav");
    library.DeleteCart();
    selectCart("Station ID.wav");
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded}));
    EXPECT_EQ(boxes.lines().last(), kLoaded + "|Remove file from deck before deleting.|48");
    EXPECT_TRUE(exists("Sunday.wav"));
    EXPECT_EQ(list.names(), carts); // not read again

    // Once Shift+F7 has emptied deck 7 the file may go, on Yes only: No is the default.
    keys.HandleFunctionKey(VirtualKey::kF1 + 6, VirtualKey::kShift);
    library.DeleteCart();
    boxes.answers = {MessageBoxes::kNo};
    library.DeleteCart();
    EXPECT_TRUE(exists("Station ID.wav"));
    EXPECT_EQ(list.FileName(), "Station ID.wav");
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded, kConfirm, kConfirm, kConfirm}));
    EXPECT_EQ(boxes.lines().last(), kConfirm + "|Are you sure you want to delete the file: " +
                                        (folder + "/Station ID.wav").toUpper() + "?  |308");
    EXPECT_TRUE(boxes.shown.last().text.endsWith("/CARTS/STATION ID.WAV?  "));
    EXPECT_FALSE(exists("Station ID.wav"));
    EXPECT_EQ(list.names(), QStringList({"Added.wav", "News.wav", "Sunday.wav"}));
}

TEST_F(CartLibraryTest, OnlyTheExactFileGoesAndFailuresAreReported) {
    const QString elsewhere = makeFolder("elsewhere", {"Target.wav"});
    addCart(folder, "NEWS.wav"); // another file here, not another spelling
    ASSERT_TRUE(QFile::link(elsewhere + "/Target.wav", folder + "/Link.wav"));
    ASSERT_TRUE(list.Refresh());
    loadDeck(1, "News.wav");

    deleteWithYes("NEWS.wav");
    EXPECT_FALSE(exists("NEWS.wav"));
    EXPECT_TRUE(exists("News.wav"));
    deleteWithYes("Link.wav"); // the link goes, its target stays
    EXPECT_FALSE(QFileInfo(folder + "/Link.wav").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/Target.wav"));
    EXPECT_EQ(list.names(), carts);

    // Replaced by a folder since the list was read: never deleted.
    ASSERT_TRUE(QFile::remove(folder + "/Sunday.wav"));
    ASSERT_TRUE(QDir(folder).mkdir("Sunday.wav"));
    addCart(folder + "/Sunday.wav", "Inside.wav");
    deleteWithYes("Sunday.wav");
    EXPECT_TRUE(boxes.shown.last().text.contains("Is a directory"));
    EXPECT_TRUE(exists("Sunday.wav/Inside.wav"));

    // Already gone: reported with the path and the reason; the list stays.
    ASSERT_TRUE(QFile::remove(folder + "/Station ID.wav"));
    deleteWithYes("Station ID.wav");
    EXPECT_EQ(captions(), QStringList({kConfirm, kConfirm, kConfirm, kFailed, kConfirm, kFailed}));
    EXPECT_EQ(boxes.shown.last().style, MessageBoxes::kOkStop);
    EXPECT_TRUE(boxes.shown.last().text.contains(folder + "/Station ID.wav"));
    EXPECT_TRUE(boxes.shown.last().text.contains("No such file or directory"));
    EXPECT_EQ(list.names(), carts);
    EXPECT_EQ(list.FileName(), "Station ID.wav");
}

} // namespace
