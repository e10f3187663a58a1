#include "deckrig.h"
#include "decks/endwarning.h"

#include <QSignalSpy>

// The end-of-cart warning through the stepped clock: which deck's time label is lit, and
// where in the cart each change happens.
class EndWarningTest : public DeckRig {
public:
    // Ticks (the warning runs after each end-of-cart check) and lists each change of the
    // lit deck as "deck@position" ("0@..." for none).
    std::string run(EndWarning& warning, const QString& events, int ticks) {
        QStringList changes;
        step(events);
        afterTimer1 = std::bind(&EndWarning::update, &warning);
        for (int lit = warning.LitDeck(); ticks-- > 0;) {
            tick();
            if (warning.LitDeck() != lit) {
                lit = warning.LitDeck();
                changes << QString("%1@%2").arg(lit).arg(playing() ? player.Position() : -1);
            }
        }
        return changes.join(' ').toStdString();
    }
};

TEST_F(EndWarningTest, FlashesInTheLastSecondsUntilTheCartEndsOrStops) {
    put(1, "Long.wav", 3000);
    put(2, "Bed.wav", 1200);
    EndWarning warning(engine, player, 1);
    QSignalSpy lit(&warning, &EndWarning::timeLabelLit);
    // Lit from 1 s before the end, dark for the second half second; it stays dark after.
    EXPECT_EQ(run(warning, "fire 1", 320), "1@2000 0@2500");
    // A loop, or a sequence into a loaded deck, has its follower armed: no dead air comes
    // and nothing flashes. Back to Normal, the cart flashes at once if it is in its last
    // seconds. A stop puts the label out at once.
    EXPECT_EQ(run(warning, "mode 2 Loop, fire 2", 360), "");
    EXPECT_EQ(run(warning, "cycle 2", 300), "2@200 0@700"); // Loop -> Norm: the pass plays on
    EXPECT_EQ(run(warning, "mode 1 Seqnc, fire 1", 210), "");
    EXPECT_EQ(run(warning, "mode 1 Norm", 1), "1@2110");
    EXPECT_EQ(run(warning, "stop", 1), "0@-1");
    EXPECT_EQ(lit.count(), 6);
}
