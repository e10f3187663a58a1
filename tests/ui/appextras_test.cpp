#include "app/app.h"
#include "app/appextras.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "decks/asrunlog.h"
#include "decks/endwarning.h"
#include "support/scriptedmessageboxes.h"
#include "ui/form1.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The station options as Vidav.ini switches them, in the main window: the lit time label and
// its way back, and a log failure in Label2. The warning is on (the log is by default, the
// levelling is not); the log folder cannot be made, a file holds its name.
TEST(AppExtras, TheWindowShowsTheWarningAndLogFailures) {
    QTemporaryDir dir;
    Fixtures::file(dir.path(), "Vidav.ini", "[global]\nEndWarning=1\n[audio]\nLoudnessTarget=9\n");
    Fixtures::file(dir.path(), "log", "");
    ScriptedMessageBoxes boxes;
    AirloomApp app(dir.filePath("Vidav.ini"), std::make_unique<ManualDevice>(), boxes);
    ASSERT_EQ(app.extras().leveller(), nullptr); // 9 LUFS is out of range
    EXPECT_EQ(app.extras().settings().logFolder, dir.filePath("log"));
    EXPECT_EQ(app.extras().settings().loudnessCacheFile, dir.filePath("dtb/loudness.db"));
    QLabel* time = app.form1().TimeLabel(3);
    const QPalette before = time->palette();

    emit app.extras().endWarning()->timeLabelLit(3, true);
    EXPECT_EQ(time->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(time->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_TRUE(time->autoFillBackground());
    emit app.extras().endWarning()->timeLabelLit(3, false);
    EXPECT_EQ(time->palette(), before);
    EXPECT_FALSE(time->autoFillBackground());

    emit app.extras().asRunLog()->writeFailed("As-run log not written: disk full");
    EXPECT_EQ(app.form1().Label2()->text(), "As-run log not written: disk full");
}
