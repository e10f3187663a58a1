#include "support/apprig.h"

// Timer1 (ticking for real) rests while nothing plays; a fire wakes it until the cart ends.
TEST(AppIdle, Timer1RestsWhileNothingPlaysAndAFireWakesIt) {
    AppRig rig(false, false);
    rig.openMainWindow(false);
    QTimer& timer1 = rig.app->Timer1();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timer1.isActive(); }));
    rig.load(1, "News.wav");
    rig.decks().FireDeck(1);
    EXPECT_TRUE(timer1.isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        rig.device->renderPeriods(1);
        return !timer1.isActive();
    }));
    EXPECT_EQ(rig.decks().Controls(1).deckColour, DeckEngine::kYellow);
}
