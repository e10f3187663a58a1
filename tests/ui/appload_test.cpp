#include "support/apprig.h"

// Ctrl+F1 in the main window on an unmeasured cart: while it is measured, F2 and the
// end-of-cart check work; deck 1 takes the cart when the report comes through the event loop.
TEST(AppLoad, TheWindowAnswersKeysWhileACartIsMeasured) {
    std::vector<std::function<void()>> held;
    AppRig rig;
    rig.app->audio().setMeasureRunner(
        [&held](std::function<void()> job) { held.push_back(std::move(job)); });
    rig.folder("carts", {"Archive.wav"});
    rig.app->buttons().Form1_SSCommand6_Click(); // the list shows the new file
    rig.load(2, "News.wav");
    rig.select("Archive.wav");
    press(rig.form().File1(), Qt::Key_F1, Qt::ControlModifier);
    press(rig.form().File1(), Qt::Key_F2);
    EXPECT_TRUE(rig.decks().IsPlaying(2));
    rig.playToEnd();
    EXPECT_EQ(rig.form().DeckLabel(1)->text(), "");
    ASSERT_EQ(held.size(), 1u);
    held.front()();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.form().DeckLabel(1)->text(), "Archive");
    EXPECT_EQ(rig.decks().FilePath(1), rig.carts + "/Archive.wav");
}
