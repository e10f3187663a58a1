#include "audio/audioengine.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "config/profilefile.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "library/cartlibrary.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/eventpump.h"
#include "shell/functionkeys.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kBadFolder = QStringLiteral("File path/access error!");
const QString kLoaded = QStringLiteral("File selected for delete is loaded in machine!");
const QString kConfirm = QStringLiteral("You are about to permanently delete a file!");
const QString kFailed = QStringLiteral("File could not be deleted!");

struct QuietPump : EventPump {
    void processPendingEvents() override {}
};

// The cart library and the key map wired as on the main window, over a real deck engine on
// the manual audio device, with ten category tabs; the list shows the folder Carts and its
// three one-second carts. Vidav.ini lives in the temporary folder; message boxes are
// answered from a script.
class CartLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 10; ++i)
            tabs.Add(i, QStringLiteral("Category %1").arg(i));
        ASSERT_TRUE(list.setPath(folder));
    }
    QString makeFolder(const QString& name, const QStringList& names) {
        const QString made = rigDir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(made)) << made.toStdString();
        for (const QString& cart : names)
            Fixtures::wav(made, cart, 1000);
        return made;
    }
    // Selects the name in the list, as a click on it would, and with a deck loads it there
    // with Ctrl and the deck's key.
    void selectCart(const QString& name, int deck = 0) {
        list.setListIndex(int(list.names().indexOf(name)));
        ASSERT_EQ(list.FileName(), name);
        if (deck == 0)
            return;
        keys.HandleFunctionKey(FunctionKeys::kF1 + deck - 1, FunctionKeys::kCtrl);
        ASSERT_EQ(decks.FilePath(deck), JoinCartPath(list.Path(), name));
        audio.waitForBackgroundWork();
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
        QStringList all;
        for (const auto& box : boxes.shown)
            all.append(box.caption);
        return all;
    }
    bool exists(const QString& name) const { return QFileInfo::exists(folder + "/" + name); }
    void deleteWithYes(const QString& name) {
        selectCart(name);
        boxes.answers = {MessageBoxes::kYes};
        library.DeleteCart();
    }

    QTemporaryDir rigDir;
    AudioEngine audio{std::make_unique<ManualDevice>()};
    MciDevice player{audio};
    MciDevice preview{audio};
    QuietPump pump;
    CartList list;
    CategoryTabs tabs;
    ProfileFile settings{rigDir.filePath(QStringLiteral("Vidav.ini"))};
    DeckEngine decks{player, preview, list, pump};
    ScriptedMessageBoxes boxes;
    CartLibrary library{list, tabs, settings, decks, boxes};
    FunctionKeys keys{decks, list};
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
    EXPECT_EQ(tabs.SelectedIndex(), 3);
    EXPECT_EQ(list.Path(), folder);
    EXPECT_EQ(list.names(), carts);
    EXPECT_EQ(list.FileName(), "Station ID.wav");

    // The folder is read from the file at every choice, of the same tab too.
    setFolder(3, ids);
    library.Form1_TabStrip1_Click();
    EXPECT_EQ(list.Path(), ids);

    // A refresh reads the folder again; one that has gone is reported and the list stays.
    Fixtures::wav(ids, "New.wav", 1000);
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

    selectCart("Station ID.wav", 7);
    selectCart("Sunday.wav", 10);
    decks.ToggleDeckLock(10);
    keys.HandleFunctionKey(FunctionKeys::kF10, FunctionKeys::kShift); // refused by the lock
    Fixtures::wav(folder, "Added.wav", 1000);                         // shows once read again
    boxes.answers.clear();
    selectCart("Sunday.wav");
    library.DeleteCart();
    selectCart("Station ID.wav");
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded}));
    EXPECT_EQ(boxes.shown.last().text, "Remove file from deck before deleting.");
    EXPECT_TRUE(exists("Sunday.wav"));
    EXPECT_EQ(list.names(), carts); // not read again

    // Once Shift+F7 has emptied deck 7 the file may go, on Yes only: No is the default.
    keys.HandleFunctionKey(FunctionKeys::kF1 + 6, FunctionKeys::kShift);
    library.DeleteCart();
    boxes.answers = {MessageBoxes::kNo};
    library.DeleteCart();
    EXPECT_TRUE(exists("Station ID.wav"));
    EXPECT_EQ(list.FileName(), "Station ID.wav");
    boxes.answers = {MessageBoxes::kYes};
    library.DeleteCart();
    EXPECT_EQ(captions(), QStringList({kLoaded, kLoaded, kConfirm, kConfirm, kConfirm}));
    EXPECT_EQ(boxes.shown.last().text, "Are you sure you want to delete the file: " +
                                           (folder + "/Station ID.wav").toUpper() + "?  ");
    EXPECT_EQ(boxes.shown.last().style, MessageBoxes::kYesNoExclamationNoDef);
    EXPECT_FALSE(exists("Station ID.wav"));
    EXPECT_EQ(list.names(), QStringList({"Added.wav", "News.wav", "Sunday.wav"}));
}

TEST_F(CartLibraryTest, OnlyTheExactFileGoesAndFailuresAreReported) {
    const QString elsewhere = makeFolder("elsewhere", {"Target.wav"});
    Fixtures::wav(folder, "NEWS.wav", 1000); // another file here, not another spelling
    ASSERT_TRUE(QFile::link(elsewhere + "/Target.wav", folder + "/Link.wav"));
    ASSERT_TRUE(list.Refresh());
    selectCart("News.wav", 1);

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
    Fixtures::wav(folder + "/Sunday.wav", "Inside.wav", 1000);
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
