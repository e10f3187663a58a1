#include "audio/fixtures.h"
#include "config/categorylist.h"
#include "config/configwindow.h"
#include "config/settings.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char kPrompt[] =
    "Warning!, changes not saved!|You have made changes that are not saved, save them now?|36";

// The configuration window's behaviour over a temporary Vidav.ini with a comment and a line
// it does not know, category 1 on a folder of jingles, category 5 on a folder that has gone,
// and a fake list of volumes: "/", the temporary folder and a volume that cannot be read.
struct ConfigRig {
    QTemporaryDir dir;
    QString jingles = dir.filePath("carts/jingles");
    QString news = dir.filePath("carts/news");
    QByteArray initial = QString("; studio B\n[global]\ncallsign=wkrp\nstray line\n[cat 1]\n"
                                 "Name=Jingles\nPath=%1\n[cat 5]\nName=Gone\nPath=/no/such\n"
                                 "[deck 4]\nMode=Xylophone\n")
                             .arg(jingles)
                             .toUtf8();
    ProfileFile file{dir.filePath("Vidav.ini")};
    ScriptedMessageBoxes boxes;
    StationSettings settings{file};
    QList<Volume> volumes{{"/", "/"}, {dir.path(), "carts"}, {"/no/such/volume", "empty drive"}};
    ConfigWindow config{file, settings, boxes, [] {},
                        [this] {
                            return volumes;
                        }};

    ConfigRig() {
        QDir().mkpath(jingles);
        QDir().mkpath(news);
        Fixtures::file(dir.path(), "Vidav.ini", initial);
    }

    QByteArray ini() const { return Fixtures::bytes(file.filePath()); }
    int rowOf(const QString& path) const {
        const QList<FolderBox::Entry>& rows = config.Dir1().entries();
        for (int i = 0; i < rows.size(); ++i)
            if (rows[i].path == path)
                return i;
        return -1;
    }
    QString drive() const {
        return config.Drive1().volumes().at(config.Drive1().ListIndex()).label;
    }
};

} // namespace

// Opening fills the window from the file and writes nothing.
TEST(ConfigWindow, OpeningWritesNothing) {
    ConfigRig rig;
    rig.config.Form2_Form_Load();
    EXPECT_EQ(rig.config.Label16(), "Category 1");
    EXPECT_EQ(rig.config.Text1(), "Jingles");
    EXPECT_EQ(rig.config.Dir1().Path(), rig.jingles);
    EXPECT_EQ(rig.drive(), "carts");
    EXPECT_EQ(rig.config.Text2(), "WKRP");
    EXPECT_EQ(rig.config.Option(4), 0) << "an unknown mode shows as Normal";
    EXPECT_FALSE(rig.config.CategoryDirty() || rig.settings.ConfigLoading());
    EXPECT_EQ(rig.ini(), rig.initial);

    // The folder box shows the open folder with the folders above it.
    const FolderBox& box = rig.config.Dir1();
    EXPECT_EQ(box.entries().at(box.openRow() - 1).path, rig.dir.filePath("carts"));

    // A category never configured: the window's own defaults.
    rig.config.Form2_VScroll1_Change(3);
    EXPECT_EQ(rig.config.Text1(), "- - - - - -");
    EXPECT_EQ(rig.config.Dir1().Path(), "/");
    EXPECT_EQ(rig.drive(), "/");
    EXPECT_TRUE(rig.boxes.take().isEmpty());
    EXPECT_EQ(rig.ini(), rig.initial);

    // A medium mounted while the window is open shows when the drive box is opened.
    rig.volumes.append(Volume{"/media/op/USB", "USB"});
    rig.config.Form2_Drive1_DropDown();
    EXPECT_EQ(rig.config.Drive1().volumes().last().label, "USB");
    EXPECT_EQ(rig.drive(), "/");
}

// The unsaved-changes prompt as the operator meets it, step by step, with the file
// compared byte for byte.
TEST(ConfigWindow, ThePromptSavesUnderTheCategoryShownBeforeTheMove) {
    ConfigRig rig;
    rig.config.Form2_Form_Load();
    QByteArray expected = rig.initial;

    // Edit, move, Yes: saved under category 1, name then folder; then category 2 shows.
    rig.config.Form2_Text1_Change("Jingles Hot");
    rig.boxes.answers = {MessageBoxes::kYes};
    rig.config.Form2_VScroll1_Change(2);
    EXPECT_EQ(rig.boxes.take(), QStringList{kPrompt});
    expected.replace("Name=Jingles\n", "Name=Jingles Hot\n");
    EXPECT_EQ(rig.ini(), expected);
    EXPECT_EQ(rig.config.ShownCategory(), 2);
    EXPECT_FALSE(rig.config.CategoryDirty());

    // Edit, move, No: lost.
    rig.config.Form2_Text1_Change("Spots");
    rig.boxes.answers = {MessageBoxes::kNo};
    rig.config.Form2_VScroll1_Change(3);
    EXPECT_EQ(rig.boxes.take(), QStringList{kPrompt});
    EXPECT_EQ(rig.ini(), expected);

    // Set Folder & Name, then move: no prompt. The folder opened counts.
    rig.config.Form2_Dir1_Open(rig.rowOf("/"));
    EXPECT_FALSE(rig.config.CategoryDirty()) << "the open folder opened again is no change";
    rig.config.Form2_Text1_Change("News");
    rig.config.Form2_Drive1_Change(1);
    EXPECT_EQ(rig.config.Dir1().Path(), rig.dir.path());
    rig.config.Form2_Dir1_Open(rig.rowOf(rig.dir.filePath("carts")));
    rig.config.Form2_Dir1_Open(rig.rowOf(rig.news));
    rig.config.Form2_Command1_Click();
    expected += QString("[cat 3]\nName=News\nPath=%1\n").arg(rig.news).toUtf8();
    EXPECT_EQ(rig.ini(), expected);
    rig.config.Form2_VScroll1_Change(4);
    EXPECT_TRUE(rig.boxes.take().isEmpty());

    // A change of volume alone is an edit; a volume that cannot be read changes nothing.
    rig.config.Form2_Drive1_Change(2);
    EXPECT_FALSE(rig.config.CategoryDirty());
    EXPECT_EQ(rig.config.Dir1().Path(), "/");
    EXPECT_EQ(rig.drive(), "/");
    rig.config.Form2_Drive1_Change(1);
    EXPECT_TRUE(rig.config.CategoryDirty());
    EXPECT_EQ(rig.drive(), "carts");

    // The thumb moves: the prompt comes at once and saves under the category shown; the
    // change that follows the release asks nothing more.
    rig.config.Form2_VScroll1_Scroll();
    EXPECT_EQ(rig.boxes.take(), QStringList{kPrompt});
    expected += QString("[cat 4]\nName=- - - - - -\nPath=%1\n").arg(rig.dir.path()).toUtf8();
    EXPECT_EQ(rig.ini(), expected);
    rig.config.Form2_VScroll1_Scroll();
    rig.config.Form2_VScroll1_Change(5);
    // Category 5's folder has gone: reported; the folder and volume of category 4 stay
    // while the name and number are category 5's, and Set Folder & Name stores them so.
    EXPECT_EQ(rig.boxes.take(),
              QStringList{"Airloom|The path for this entry: /no/such is invalid!|0"});
    EXPECT_EQ(rig.config.Label16(), "Category 5");
    EXPECT_EQ(rig.config.Text1(), "Gone");
    EXPECT_EQ(rig.config.Dir1().Path(), rig.dir.path());
    EXPECT_EQ(rig.drive(), "carts");
    EXPECT_FALSE(rig.config.CategoryDirty());
    rig.config.Form2_Command1_Click();
    expected.replace("Path=/no/such", "Path=" + rig.dir.path().toUtf8());
    EXPECT_EQ(rig.ini(), expected);
    EXPECT_TRUE(rig.boxes.take().isEmpty());
}

// A settings file that cannot be written (its folder cannot be made): every write of the
// window says so once, naming the file and the reason, and the window goes on.
TEST(ConfigWindow, EachFailedWriteIsReportedOnce) {
    ConfigRig rig;
    QFile(rig.dir.filePath("blocker")).open(QIODevice::WriteOnly);
    ProfileFile blocked(rig.dir.filePath("blocker/Vidav.ini"));
    StationSettings settings(blocked);
    ConfigWindow config(
        blocked, settings, rig.boxes, [] {}, [&] { return rig.volumes; });
    config.Form2_Form_Load();
    EXPECT_TRUE(rig.boxes.take().isEmpty()) << "opening writes nothing";

    const QString reason =
        " was not saved. Cannot create the folder " + rig.dir.filePath("blocker") + ".";
    config.Form2_Option_Click(4, 2);
    config.Form2_Text1_Change("Promos");
    config.Form2_Command1_Click();
    config.Form2_Text1_Change("Promos 2");
    rig.boxes.answers = {MessageBoxes::kYes};
    config.Form2_VScroll1_Change(2);
    config.Form2_SSCommand1_Click();
    const QStringList shown = rig.boxes.take();
    EXPECT_EQ(shown, QStringList({"Airloom|The default mode of deck 4" + reason + "|16",
                                  "Airloom|Category 1" + reason + "|16", kPrompt,
                                  "Airloom|Category 1" + reason + "|16",
                                  "Airloom|The call letters" + reason + "|16"}));
    EXPECT_EQ(config.Option(4), 2);
    EXPECT_EQ(config.ShownCategory(), 2);
}

// The real list of volumes leaves out the kernel's own file systems.
TEST(FolderBoxes, MountedVolumesAreRealFileSystems) {
    const QList<Volume> mounted = MountedVolumes();
    EXPECT_TRUE(
        std::any_of(mounted.begin(), mounted.end(), [](const Volume& v) { return v.root == "/"; }));
    for (const Volume& volume : mounted)
        for (const char* pseudo : {"/proc", "/sys", "/dev"})
            EXPECT_FALSE(volume.root.startsWith(pseudo)) << volume.root.toStdString();
}

// Titles are appended, one CR LF line each, into a folder made when missing.
TEST(CategoryList, AppendsOneLinePerTitle) {
    QTemporaryDir dir;
    const CategoryList list(dir.filePath("Vidav.ini"));
    EXPECT_EQ(list.filePath(), dir.filePath("dtb/cats.db"));
    for (const char* title : {"Jingles", "Jingles", ""})
        ASSERT_TRUE(list.AppendTitle(title));
    QFile file(list.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "Jingles\r\nJingles\r\n\r\n");
}
