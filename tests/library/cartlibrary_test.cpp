#include "library/cartlibrary.h"
#include "library/libraryrig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString kPathText = QStringLiteral("Please check your category directory path.");
const QString kPathCaption = QStringLiteral("File path/access error!");

// --- Category tabs ----------------------------------------------------------------------

class CategoryTabTest : public LibraryRig {
protected:
    void SetUp() override {
        LibraryRig::SetUp();
        for (int i = 1; i <= 10; ++i)
            tabs.Add(i, QStringLiteral("Category %1").arg(i));
    }
    void choose(int tab) {
        tabs.Select(tab);
        library.Form1_TabStrip1_Click();
    }
};

TEST_F(CategoryTabTest, ChoosingATabListsItsFolder) {
    const QString news = makeFolder("news", {"Headlines.wav", "Weather.mp3"});
    const QString ids = makeFolder("ids", {"Station ID.wav"});
    writeSettings("[cat 1]\nName=News\nPath=" + news.toUtf8() +
                  "\n[cat 2]\nName=IDs\nPath=" + ids.toUtf8() + "\n");

    choose(2);
    EXPECT_EQ(list.Path(), ids);
    EXPECT_EQ(list.names(), QStringList({"Station ID.wav"}));
    choose(1);
    EXPECT_EQ(list.Path(), news);
    EXPECT_EQ(list.names(), QStringList({"Headlines.wav", "Weather.mp3"}));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(CategoryTabTest, TheFolderIsReadFromTheFileAtEveryChoice) {
    const QString first = makeFolder("first", {"One.wav"});
    const QString second = makeFolder("second", {"Two.wav"});
    writeSettings("[cat 3]\nPath=" + first.toUtf8() + "\n");
    choose(3);
    EXPECT_EQ(list.Path(), first);

    writeSettings("[CAT 3]\npath = \"" + second.toUtf8() + "\"\n");
    library.Form1_TabStrip1_Click(); // the same tab again
    EXPECT_EQ(list.Path(), second);
    EXPECT_EQ(list.names(), QStringList({"Two.wav"}));
}

TEST_F(CategoryTabTest, ACategoryWithoutPathListsTheRoot) {
    writeSettings("[cat 4]\nName=Empty\n");
    choose(4);
    EXPECT_EQ(list.Path(), "/");
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(CategoryTabTest, AVanishedFolderIsReportedAndTheListStays) {
    const QString news = makeFolder("news", {"Headlines.wav", "Weather.mp3"});
    const QString gone = makeFolder("gone", {"Lost.wav"});
    writeSettings("[cat 1]\nPath=" + news.toUtf8() + "\n[cat 2]\nPath=" + gone.toUtf8() + "\n");
    choose(1);
    list.setListIndex(1);
    ASSERT_TRUE(QDir(gone).removeRecursively());

    choose(2);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, kPathText);
    EXPECT_EQ(boxes.shown[0].caption, kPathCaption);
    EXPECT_EQ(boxes.shown[0].style, MessageBoxes::kOkStop);
    EXPECT_EQ(list.Path(), news);
    EXPECT_EQ(list.names(), QStringList({"Headlines.wav", "Weather.mp3"}));
    EXPECT_EQ(list.FileName(), "Weather.mp3");
    EXPECT_EQ(tabs.SelectedIndex(), 2);
}

TEST_F(CategoryTabTest, AFileInsteadOfAFolderIsReported) {
    const QString folder = makeFolder("carts", {"Spot.wav"});
    writeSettings("[cat 5]\nPath=" + (folder + "/Spot.wav").toUtf8() + "\n");
    choose(5);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, kPathText);
}

// A long stored folder is used whole, as at start-up: its first 79 characters would name
// another folder, here one that exists and holds other carts.
TEST_F(CategoryTabTest, ALongStoredPathIsUsedWhole) {
    const QString base = rigDir.path() + "/";
    const QString cut = base + QString(79 - base.size(), QLatin1Char('d'));
    ASSERT_EQ(cut.size(), 79);
    const QString stored = cut + "/deeper/and/deeper/still";
    ASSERT_TRUE(QDir().mkpath(stored));
    addCart(cut, "Wrong.wav");
    addCart(stored, "Right.wav");
    writeSettings("[cat 6]\nPath=" + stored.toUtf8() + "\n");

    choose(6);
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(list.Path(), stored);
    EXPECT_EQ(list.names(), QStringList({"Right.wav"}));
}

TEST_F(CategoryTabTest, RefreshOfAVanishedFolderIsReported) {
    const QString folder = makeFolder("carts", {"Spot.wav"});
    writeSettings("[cat 1]\nPath=" + folder.toUtf8() + "\n");
    choose(1);
    addCart(folder, "New.wav");
    EXPECT_TRUE(library.RefreshCartList());
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Spot.wav"}));

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(library.RefreshCartList());
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, kPathText);
    EXPECT_EQ(list.names(), QStringList({"New.wav", "Spot.wav"}));
}

// --- Deleting a cart file ---------------------------------------------------------------

const QString kLoadedText = QStringLiteral("Remove file from deck before deleting.");
const QString kLoadedCaption = QStringLiteral("File selected for delete is loaded in machine!");
const QString kConfirmCaption = QStringLiteral("You are about to permanently delete a file!");

class DeleteCartTest : public LibraryRig {
protected:
    void SetUp() override {
        LibraryRig::SetUp();
        folder = makeFolder("Carts", {"News.wav", "Station ID.wav", "Sunday.wav"});
        ASSERT_TRUE(list.setPath(folder));
    }
    QString confirmText(const QString& path) const {
        return "Are you sure you want to delete the file: " + path.toUpper() + "?  ";
    }

    QString folder;
};

TEST_F(DeleteCartTest, YesDeletesTheFileAndRefreshesTheList) {
    selectCart("Station ID.wav");
    addCart(folder, "Added.wav"); // shows only once the list is read again
    boxes.answers = {MessageBoxes::kYes};

    library.DeleteCart();

    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, confirmText(folder + "/Station ID.wav"));
    EXPECT_TRUE(boxes.shown[0].text.endsWith("/CARTS/STATION ID.WAV?  "));
    EXPECT_EQ(boxes.shown[0].caption, kConfirmCaption);
    EXPECT_EQ(boxes.shown[0].style, MessageBoxes::kYesNoExclamationNoDef);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Station ID.wav"));
    EXPECT_EQ(list.names(), QStringList({"Added.wav", "News.wav", "Sunday.wav"}));
}

TEST_F(DeleteCartTest, NoOrTheDefaultButtonKeepsEverything) {
    selectCart("Sunday.wav");
    addCart(folder, "Added.wav");
    library.DeleteCart(); // the default button of the confirmation is No
    boxes.answers = {MessageBoxes::kNo};
    library.DeleteCart();

    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(folder + "/Sunday.wav"));
    EXPECT_EQ(list.names(), QStringList({"News.wav", "Station ID.wav", "Sunday.wav"}));
    EXPECT_EQ(list.FileName(), "Sunday.wav");
}

TEST_F(DeleteCartTest, NothingSelectedDoesNothing) {
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart();
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(list.ListCount(), 3);
}

TEST_F(DeleteCartTest, AFileThatADeckHoldsIsRefusedUntilTheDeckLetsGo) {
    loadDeck(7, "News.wav");
    selectCart("News.wav");
    addCart(folder, "Added.wav");

    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, kLoadedText);
    EXPECT_EQ(boxes.shown[0].caption, kLoadedCaption);
    EXPECT_EQ(boxes.shown[0].style, MessageBoxes::kOkExclamation);
    EXPECT_TRUE(QFileInfo::exists(folder + "/News.wav"));
    EXPECT_EQ(list.ListCount(), 3); // not read again

    // Shift+F7 empties deck 7; the same file can go now.
    keys.HandleFunctionKey(FunctionKeys::kF1 + 6, FunctionKeys::kShift);
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown[1].text, confirmText(folder + "/News.wav"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/News.wav"));
    EXPECT_EQ(list.names(), QStringList({"Added.wav", "Station ID.wav", "Sunday.wav"}));
}

TEST_F(DeleteCartTest, ALockedDeckProtectsItsFile) {
    loadDeck(10, "Sunday.wav");
    decks.ToggleDeckLock(10);
    keys.HandleFunctionKey(FunctionKeys::kF10, FunctionKeys::kShift); // refused by the lock
    selectCart("Sunday.wav");

    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, kLoadedText);
    EXPECT_TRUE(QFileInfo::exists(folder + "/Sunday.wav"));
}

TEST_F(DeleteCartTest, OnlyTheExactPathCountsAsLoaded) {
    addCart(folder, "NEWS.wav"); // another file on this system, not another spelling
    ASSERT_TRUE(list.Refresh());
    loadDeck(1, "News.wav");
    selectCart("NEWS.wav");
    boxes.answers = {MessageBoxes::kYes};

    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].caption, kConfirmCaption);
    EXPECT_FALSE(QFileInfo::exists(folder + "/NEWS.wav"));
    EXPECT_TRUE(QFileInfo::exists(folder + "/News.wav"));
}

TEST_F(DeleteCartTest, AFileAlreadyGoneIsReportedAndTheListStays) {
    selectCart("News.wav");
    ASSERT_TRUE(QFile::remove(folder + "/News.wav"));
    boxes.answers = {MessageBoxes::kYes};

    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_EQ(boxes.shown[1].style, MessageBoxes::kOkStop);
    EXPECT_TRUE(boxes.shown[1].text.contains(folder + "/News.wav"));
    EXPECT_TRUE(boxes.shown[1].text.contains("No such file or directory"));
    EXPECT_EQ(list.names(), QStringList({"News.wav", "Station ID.wav", "Sunday.wav"}));
    EXPECT_EQ(list.FileName(), "News.wav");
}

TEST_F(DeleteCartTest, AFolderIsNeverDeleted) {
    // The file was replaced by a folder of the same name since the list was read.
    selectCart("Sunday.wav");
    ASSERT_TRUE(QFile::remove(folder + "/Sunday.wav"));
    ASSERT_TRUE(QDir(folder).mkdir("Sunday.wav"));
    addCart(folder + "/Sunday.wav", "Inside.wav");
    boxes.answers = {MessageBoxes::kYes};

    library.DeleteCart();
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(boxes.shown[1].text.contains("Is a directory"));
    EXPECT_TRUE(QFileInfo::exists(folder + "/Sunday.wav/Inside.wav"));
}

TEST_F(DeleteCartTest, ALinkIsDeletedAsTheLink) {
    const QString elsewhere = makeFolder("elsewhere", {"Target.wav"});
    ASSERT_TRUE(QFile::link(elsewhere + "/Target.wav", folder + "/Link.wav"));
    ASSERT_TRUE(list.Refresh());
    selectCart("Link.wav");
    boxes.answers = {MessageBoxes::kYes};

    library.DeleteCart();
    EXPECT_FALSE(QFileInfo(folder + "/Link.wav").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/Target.wav"));
    EXPECT_FALSE(list.names().contains("Link.wav"));
}

} // namespace
