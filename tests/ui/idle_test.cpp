#include "app/appextras.h"
#include "apprig.h"
#include "decks/endwarning.h"

// The program at rest: Timer1 runs while the end-of-cart check has something to find and
// rests after that, and a fire wakes it. The timer ticks for real here; the manual device
// moves the cart only as far as the test renders it.
TEST(AppIdle, Timer1RestsWhileNothingPlaysAndEachFireWakesIt) {
    AppRig rig(false, false, "EndWarning=1\n");
    Fixtures::wav(rig.carts, "Bed.wav", 900);
    rig.openMainWindow(false);
    QTimer& timer1 = rig.app->Timer1();
    EndWarning& warning = *rig.app->extras().endWarning();
    const auto rests = [&] {
        return QTest::qWaitFor([&] { return !timer1.isActive(); });
    };
    // Its first tick finds nothing playing.
    ASSERT_TRUE(rests());
    rig.load(1, "Bed.wav");
    rig.load(2, "Sunday.wav");

    // A fire: the cart is lit in its last second, then played to its end and put out; only
    // then does the timer rest, the deck back at rest.
    rig.decks().FireDeck(1);
    EXPECT_TRUE(timer1.isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return warning.LitDeck() == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        rig.device->renderPeriods(1);
        return !timer1.isActive();
    }));
    EXPECT_EQ(warning.LitDeck(), 0);
    EXPECT_EQ(rig.decks().Controls(1).deckColour, DeckEngine::kYellow);
    EXPECT_EQ(rig.decks().Controls(1).timeCaption, "0:00:00");
    EXPECT_FALSE(rig.decks().PlayLatch() || rig.decks().DisplayLatch());

    // A Sequence runs on through its follower; F11 then leaves it to rest again.
    rig.decks().SetDeckMode(1, "Seqnc");
    rig.decks().FireDeck(1);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        rig.device->renderPeriods(1);
        return rig.decks().IsPlaying(2);
    }));
    EXPECT_TRUE(timer1.isActive());
    rig.decks().StopCart();
    ASSERT_TRUE(rests());
    EXPECT_EQ(rig.decks().Controls(2).deckColour, DeckEngine::kYellow);
}
