#include "config/settings.h"
#include "support/apprig.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kBadFolder = QStringLiteral("File path/access error!");
const QString kLoaded = QStringLiteral("File selected for delete is loaded in machine!");
const QString kConfirm = QStringLiteral("You are about to permanently delete a file!");
const QString kFailed = QStringLiteral("File could not be deleted!");

// The running program: tab 1 lists the folder carts and its three carts, tab 2's folder
// has gone.
class CartLibraryTest : public ::testing::Test, public AppRig {
protected:
    void setFolder(int category, const QString& path) {
        ASSERT_TRUE(app->profile().Write(SettingsKeys::CategorySection(category), "Path", path));
    }
    void choose(int tab) {
        app->tabs().Select(tab);
        library.Form1_TabStrip1_Click();
    }
    // The caption of every box shown so far.
    QStringList captions() const {
        return QStringList(boxes.shown).replaceInStrings(QRegularExpression("\\|.*"), "");
    }
    bool exists(const QString& name) const { return QFileInfo::exists(carts + "/" + name); }
    void deleteWithYes(const QString& name) {
        select(name);
        boxes.answers = {MessageBoxes::kYes};
        library.DeleteCart();
    }

    const QStringList names{"News.wav", "Station ID.wav", "Sunday.wav"};
    CartList& list = app->cartList();
    CartLibrary& library = app->library();
};

TEST_F(CartLibraryTest, TheListFollowsTheChosenTab) {
    const QString ids = folder("ids", {"Station ID.wav"});
    // Used whole, as at start-up: a cut path would name a folder that is not there.
    const QString deep = folder(QString(90, QLatin1Char('d')) + "/deeper", {"Right.wav"});
    setFolder(3, ids);
    setFolder(6, deep);
    for (const auto& [tab, path] : {std::pair{3, ids}, {6, deep}, {1, carts}}) {
        choose(tab);
        EXPECT_EQ(list.Path(), path);
    }
    EXPECT_TRUE(boxes.shown.isEmpty());

    // A missing folder is reported; the list, its selection and the tab stay.
    list.setListIndex(1);
    choose(2);
    EXPECT_EQ(boxes.shown.last(), kBadFolder + "|Please check your category directory path.|16");
    EXPECT_EQ(app->tabs().SelectedIndex(), 2);
    EXPECT_EQ(QStringList({list.Path(), list.FileName()}) + list.names(),
              QStringList({carts, "Station ID.wav"}) + names);

    // The folder is read from the file at every choice, of the same tab too.
    setFolder(2, ids);
    library.Form1_TabStrip1_Click();
    EXPECT_EQ(list.Path(), ids);

    // The refresh button reads the folder again; one that has gone is reported and the list
    // stays.
    folder("ids", {"New.wav"});
    QTest::mouseClick(form().SSCommand6(), Qt::LeftButton);
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Station ID.wav"}));
    EXPECT_EQ(form().File1()->model()->rowCount(), 2);
    ASSERT_TRUE(QDir(ids).removeRecursively());
    EXPECT_FALSE(library.RefreshCartList());
    EXPECT_EQ(captions(), QStringList({kBadFolder, kBadFolder}));
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Station ID.wav"}));
}

TEST_F(CartLibraryTest, AFileADeckHoldsIsRefusedAndOnlyYesDeletes) {
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart(); // nothing selected: the folder is never offered
    EXPECT_TRUE(boxes.shown.isEmpty() && QFileInfo(carts).isDir());

    load(7, "Station ID.wav");
    load(10, "Sunday.wav");
    decks().ToggleDeckLock(10);
    app->keys().HandleFunctionKey(VirtualKey::kF10, VirtualKey::kShift); // refused by the lock
    folder("carts", {"Added.wav"});                                      // shows once read again
    boxes.answers.clear();
    select("Sunday.wav");
    library.DeleteCart();
    select("Station ID.wav");
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded}));
    EXPECT_EQ(boxes.shown.last(), kLoaded + "|Remove file from deck before deleting.|48");
    EXPECT_TRUE(exists("Sunday.wav"));
    EXPECT_EQ(list.names(), names); // not read again

    // Once Shift+F7 has emptied deck 7 the file may go, on Yes only: No is the default.
    app->keys().HandleFunctionKey(VirtualKey::kF1 + 6, VirtualKey::kShift);
    library.DeleteCart();
    boxes.answers = {MessageBoxes::kNo};
    library.DeleteCart();
    EXPECT_TRUE(exists("Station ID.wav"));
    EXPECT_EQ(list.FileName(), "Station ID.wav");
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded, kConfirm, kConfirm, kConfirm}));
    EXPECT_EQ(boxes.shown.last(), kConfirm + "|Are you sure you want to delete the file: " +
                                      (carts + "/Station ID.wav").toUpper() + "?  |308");
    EXPECT_FALSE(exists("Station ID.wav"));
    EXPECT_EQ(list.names(), QStringList({"Added.wav", "News.wav", "Sunday.wav"}));
}

TEST_F(CartLibraryTest, OnlyTheExactFileGoesAndFailuresAreReported) {
    const QString elsewhere = folder("elsewhere", {"Target.wav"});
    folder("carts", {"NEWS.wav"}); // another file here, not another spelling
    ASSERT_TRUE(QFile::link(elsewhere + "/Target.wav", carts + "/Link.wav"));
    ASSERT_TRUE(list.Refresh());
    load(1, "News.wav");

    deleteWithYes("NEWS.wav");
    EXPECT_FALSE(exists("NEWS.wav"));
    EXPECT_TRUE(exists("News.wav"));
    deleteWithYes("Link.wav"); // the link goes, its target stays
    EXPECT_FALSE(QFileInfo(carts + "/Link.wav").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/Target.wav"));
    EXPECT_EQ(list.names(), names);

    // Replaced by a folder since the list was read: never deleted.
    ASSERT_TRUE(QFile::remove(carts + "/Sunday.wav"));
    folder("carts/Sunday.wav", {"Inside.wav"});
    deleteWithYes("Sunday.wav");
    EXPECT_TRUE(boxes.shown.last().contains("Is a directory"));
    EXPECT_TRUE(exists("Sunday.wav/Inside.wav"));

    // Already gone: reported with the path and the reason; the list stays.
    ASSERT_TRUE(QFile::remove(carts + "/Station ID.wav"));
    deleteWithYes("Station ID.wav");
    EXPECT_EQ(captions(), QStringList({kConfirm, kConfirm, kConfirm, kFailed, kConfirm, kFailed}));
    EXPECT_EQ(boxes.shown.last(), kFailed + "|The file " + carts +
                                      "/Station ID.wav could not be deleted: No such file or "
                                      "directory.|16");
    EXPECT_EQ(list.names() + QStringList{list.FileName()}, names + QStringList{"Station ID.wav"});
}

} // namespace
