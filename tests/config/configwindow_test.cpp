#include "config/configwindow.h"
#include "support/apprig.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const char kPrompt[] =
    "Warning!, changes not saved!|You have made changes that are not saved, save them now?|36";

// The configuration window of the running program over a Vidav.ini with a line it does not
// know and a mode it does not know; category 2's folder has gone.
struct ConfigRig : Form2Rig {
    ConfigRig() : Form2Rig("stray line\n[deck 4]\nMode=Xylophone\n") {}

    QByteArray ini() const { return Fixtures::bytes(iniPath); }
    int rowOf(const QString& path) const {
        const QList<FolderBox::Entry>& rows = config().folderBox().entries();
        return int(
            std::find_if(rows.begin(), rows.end(), [&](auto& row) { return row.path == path; }) -
            rows.begin());
    }
    QString drive() const {
        return config().driveBox().volumes().at(config().driveBox().ListIndex()).label;
    }
    // The category shown: "caption|name|folder|volume".
    QString shown() const {
        const ConfigWindow& c = config();
        return QStringList{c.categoryCaption(), c.categoryName(), c.folderBox().Path(), drive()}
            .join('|');
    }
};

} // namespace

// Opening fills the window from the file and writes nothing.
TEST(ConfigWindow, OpeningWritesNothing) {
    ConfigRig rig;
    ConfigWindow& config = rig.config();
    EXPECT_EQ(rig.shown() + "|" + config.callLetters(),
              "Category 1|Jingles|" + rig.carts + "|carts|KAIR");
    EXPECT_EQ(config.deckDefault(4), 0) << "an unknown mode shows as Normal";
    EXPECT_FALSE(config.CategoryDirty() || rig.app->settings().ConfigLoading());

    // A category never configured: the window's own defaults.
    config.Form2_VScroll1_Change(3);
    EXPECT_EQ(rig.shown(), "Category 3|- - - - - -|/|/");
    EXPECT_TRUE(rig.boxes.take().isEmpty());
    EXPECT_EQ(rig.ini(), rig.settings.toUtf8());

    // A medium mounted while the window is open shows when the drive box is opened.
    rig.volumes.append(Volume{"/media/op/USB", "USB"});
    config.Form2_Drive1_DropDown();
    EXPECT_EQ(config.driveBox().volumes().last().label, "USB");
    EXPECT_EQ(rig.drive(), "/");
}

// The unsaved-changes prompt as the operator meets it, step by step, with the file
// compared byte for byte.
TEST(ConfigWindow, ThePromptSavesUnderTheCategoryShownBeforeTheMove) {
    ConfigRig rig;
    ConfigWindow& config = rig.config();
    QByteArray expected = rig.settings.toUtf8();

    // Edit, move, Yes: saved under category 1. Category 2's folder has gone: reported; the
    // folder and volume of category 1 stay while the name and number are category 2's, and
    // Set Folder & Name stores them so.
    config.Form2_Text1_Change("Jingles Hot");
    rig.boxes.answers = {MessageBoxes::kYes};
    config.Form2_VScroll1_Change(2);
    EXPECT_EQ(rig.boxes.take(),
              QStringList({kPrompt, "Airloom|The path for this entry: " + rig.dir.filePath("gone") +
                                        " is invalid!|0"}));
    expected.replace("Name=Jingles\n", "Name=Jingles Hot\n");
    EXPECT_EQ(rig.ini(), expected);
    EXPECT_EQ(rig.shown(), "Category 2|Spots|" + rig.carts + "|carts");
    EXPECT_FALSE(config.CategoryDirty());
    config.Form2_Command1_Click();
    expected.replace(rig.dir.filePath("gone").toUtf8(), rig.carts.toUtf8());
    EXPECT_EQ(rig.ini(), expected);

    // Edit, move, No: lost.
    config.Form2_Text1_Change("Promos");
    rig.boxes.answers = {MessageBoxes::kNo};
    config.Form2_VScroll1_Change(3);
    EXPECT_EQ(rig.boxes.take(), QStringList{kPrompt});
    EXPECT_EQ(rig.ini(), expected);

    // Set Folder & Name, then move: no prompt. The folder opened counts.
    config.Form2_Dir1_Open(rig.rowOf("/"));
    EXPECT_FALSE(config.CategoryDirty()) << "the open folder opened again is no change";
    config.Form2_Text1_Change("News");
    config.Form2_Drive1_Change(1);
    EXPECT_EQ(config.folderBox().Path(), rig.dir.path());
    const QString news = rig.folder("carts/news", {});
    config.Form2_Dir1_Open(rig.rowOf(rig.carts));
    config.Form2_Dir1_Open(rig.rowOf(news));
    config.Form2_Command1_Click();
    expected += QString("[cat 3]\nName=News\nPath=%1\n").arg(news).toUtf8();
    EXPECT_EQ(rig.ini(), expected);
    config.Form2_VScroll1_Change(4);
    EXPECT_TRUE(rig.boxes.take().isEmpty());

    // A change of volume alone is an edit; a volume that cannot be read changes nothing.
    config.Form2_Drive1_Change(2);
    EXPECT_FALSE(config.CategoryDirty());
    EXPECT_EQ(rig.shown(), "Category 4|- - - - - -|/|/");
    config.Form2_Drive1_Change(1);
    EXPECT_TRUE(config.CategoryDirty());
    EXPECT_EQ(rig.drive(), "carts");

    // The thumb moves: the prompt comes at once; the change after the release asks nothing.
    config.Form2_VScroll1_Scroll();
    EXPECT_EQ(rig.boxes.take(), QStringList{kPrompt});
    config.Form2_VScroll1_Change(5);
    EXPECT_TRUE(rig.boxes.take().isEmpty());
}

// A settings file that cannot be written (its folder cannot be made): every write of the
// window says so once, naming the file and the reason, and nothing typed is lost: the deck
// row goes back to the stored mode, the category edit stays shown and unsaved, the window
// stays open. With the folder back, the next try succeeds.
TEST(ConfigWindow, AFailedWriteKeepsWhatWasTyped) {
    QTemporaryDir dir;
    QFile(dir.filePath("blocker")).open(QIODevice::WriteOnly);
    ProfileFile blocked(dir.filePath("blocker/Vidav.ini"));
    StationSettings settings(blocked);
    ScriptedMessageBoxes boxes;
    int applied = 0;
    ConfigWindow config(
        blocked, settings, boxes, [&applied] { ++applied; },
        [] {
            return QList<Volume>{{"/", "/"}};
        });
    int closed = 0;
    QObject::connect(&config, &ConfigWindow::closeRequested, [&closed] { ++closed; });
    config.Form2_Form_Load();
    EXPECT_TRUE(boxes.take().isEmpty()) << "opening writes nothing";

    const QString reason = " not saved. Cannot create the folder " + dir.filePath("blocker") + ".";
    const QString category1 = "Airloom|Category 1 was" + reason + "|16";
    config.Form2_Option_Click(4, 2);
    EXPECT_EQ(config.deckDefault(4), 0);
    config.Form2_Text1_Change("Promos");
    config.Form2_Command1_Click();
    boxes.answers = {MessageBoxes::kYes, MessageBoxes::kYes};
    config.Form2_VScroll1_Change(2);
    config.Form2_SSCommand1_Click();
    EXPECT_EQ(boxes.take(), QStringList({"Airloom|The default mode of deck 4 was" + reason + "|16",
                                         category1, kPrompt, category1, kPrompt, category1}));
    EXPECT_EQ(config.categorySelector() * 10 + config.ShownCategory(), 11);
    EXPECT_EQ(config.categoryName(), "Promos");
    EXPECT_TRUE(config.CategoryDirty());
    EXPECT_EQ(closed + applied, 0);

    // No drops the category edit; the call letters cannot be written: the window stays.
    boxes.answers = {MessageBoxes::kNo};
    config.Form2_Text2_Change("wnew");
    config.Form2_SSCommand1_Click();
    EXPECT_EQ(boxes.take(),
              QStringList({kPrompt, "Airloom|The call letters were" + reason + "|16"}));
    EXPECT_EQ(closed + applied, 0);

    ASSERT_TRUE(QFile::remove(dir.filePath("blocker")));
    config.Form2_SSCommand1_Click();
    EXPECT_TRUE(boxes.take().isEmpty());
    EXPECT_EQ(closed + applied, 2);
    EXPECT_TRUE(Fixtures::bytes(blocked.filePath()).contains("callsign=wnew"));
}
