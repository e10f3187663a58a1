#pragma once

#include "common/decks.h"
#include "common/dragproxy.h"
#include "decks/playobserver.h"

#include <QObject>
#include <QString>
#include <array>
#include <memory>

class Cart;
class MciDevice;
class CartSelection;
class EventPump;

// The ten cart decks and the single player. Owns the deck table, the module state shared
// by the deck routines (CurrentDeck, StoppedByOperator, DragSourceDeck and the two
// latches) and the captions and colours of the deck controls, the meter and the hidden
// status label Label2 (the loaded file's path after a load, its extension after a fire).
// Widgets render this state and forward clicks, keys and drops to the routines below.
//
// UI thread only. Time_Display runs pending window events after it repaints, so any
// routine may be re-entered from there; the latches keep that harmless.
//
// Wiring: the engine listens to MMControl1's StatusUpdate itself (Time_Display, then
// CartFinished) and gives the player its update interval; the window's 10 ms Timer1 calls
// Timer1_Timer. Deck numbers outside 1..10 are ignored by every routine, and the table
// reads give an empty row for them.
class DeckEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int kMeterMin = 0;
    static constexpr int kMeterMax = 60;
    // MMControl1's StatusUpdate interval: the countdown shows whole seconds.
    static constexpr int kStatusUpdateInterval = 250;
    // The error number Time_Display reports when the player's length is 0.
    static constexpr int kErrDivisionByZero = 11;

    // The colour code of the deck controls, as 0xRRGGBB (the core has no QColor).
    using Colour = quint32;
    static constexpr Colour kBlack = 0x000000;       // empty deck
    static constexpr Colour kYellow = 0xFFFF00;      // loaded deck; unlocked number; "Norm"
    static constexpr Colour kBrightGreen = 0x00FF00; // playing deck
    static constexpr Colour kGrey = 0x808080;        // locked number
    static constexpr Colour kCyan = 0x00FFFF;        // "Seqnc"
    static constexpr Colour kRed = 0xFF0000;         // "Loop"

    // What one deck row shows.
    struct DeckControls {
        QString deckCaption = QStringLiteral("Label2"); // DeckLabel before the load blanks it
        Colour deckColour = kBlack;
        QString timeCaption = QStringLiteral("0:00:00"); // TimeLabel
        QString modeCaption;                             // PlayMode
        Colour modeColour = kYellow;
        Colour lockColour = kYellow; // DeckLock
    };

    DeckEngine(MciDevice& player, MciDevice& preview, const CartSelection& selection,
               EventPump& pump, QObject* parent = nullptr);

    // Deck table and loading. A loaded deck holds its cart, so that it plays even if its
    // file is deleted before it is fired; emptying or reloading the deck lets go of it.
    // A cart that is measured already loads at once. One that is not is measured on
    // another thread: meanwhile the deck stays as it was (it shows, fires and moves what it
    // held, or nothing), and the whole load takes effect once the length is known. Another
    // load, an empty, a move or a lock of the deck drops the waiting load.
    void LoadCart(int deck);
    // LoadCart's steps with a file named by the caller instead of the list's selection (the
    // studio's remote controls): fileName in folder, "" does nothing.
    void LoadCartFile(int deck, const QString& folder, const QString& fileName);
    void ClearDeck(int deck);
    void ClearDeckLabels();
    // Start-up mode of a deck from the settings ("Norm", "Seqnc" or "Loop").
    void SetDeckMode(int deck, const QString& modeWord);

    // Transport and modes.
    void FireDeck(int deck);
    void StopCart();
    void StartDeckPlayback(int deck);
    void CartFinished();
    void CyclePlayMode(int deck); // a click on PlayMode(deck)

    // Time display.
    void Time_Display();
    void ResetTimeDisplay(int deck);
    // The error hook: nothing is shown to the operator; the count serves the tests.
    void ReportError(const QString& procedure, int errorNumber);
    int ReportedErrorCount() const { return m_reportedErrors; }

    // Moving and locking.
    void BeginDeckDrag(int deck); // a press on DeckLabel(deck): DragSourceDeck = deck
    void DropOnDeck(int deck, DragProxy source);
    void MoveCart(int target);
    void ToggleDeckLock(int deck);

    // Event wiring of the main window.
    void Timer1_Timer() { CartFinished(); }
    // Whether Timer1_Timer has nothing to find: no cart plays and both latches are down, so
    // it would change nothing. Only a "Play" can end that (both latches rise only while a
    // cart plays); endCheckWanted then says so. Timer1 may rest meanwhile.
    bool EndCheckIdle() const;
    void MMControl1_StatusUpdate();
    // The media engine measured path, or found a new length or a new file for it: a load
    // waiting for it takes effect, every deck that holds it and does not play takes it up,
    // and an idle deck shows the new length at once.
    void CartFileChanged(const QString& path);

    // Deck table (decks 1..10).
    const QString& FilePath(int deck) const { return row(deck).filePath; }
    const QString& IdleTimeText(int deck) const { return row(deck).idleTimeText; }
    const QString& LockedPath(int deck) const { return row(deck).lockedPath; }
    const QString& ModeWord(int deck) const { return row(deck).modeWord; }
    const DeckControls& Controls(int deck) const { return row(deck).controls; }
    bool IsPlaying(int deck) const; // deck == CurrentDeck and the player plays
    // The file the deck waits to load while it is measured; "" for none.
    const QString& PendingPath(int deck) const { return row(deck).pendingPath; }

    // Module state.
    int CurrentDeck() const { return m_currentDeck; }
    bool StoppedByOperator() const { return m_stoppedByOperator; }
    int DragSourceDeck() const { return m_dragSourceDeck; }
    bool PlayLatch() const { return m_playLatch; }
    bool DisplayLatch() const { return m_displayLatch; }
    float TimeMeterValue() const { return m_timeMeter; }
    // What the hidden status label Label2 holds; the operator never sees it.
    const QString& hiddenStatus() const { return m_hiddenStatus; }

    MciDevice& player() { return m_player; }
    // Told of every start and end of a play; null for none. Not owned.
    void setPlayObserver(PlayObserver* observer) { m_observer = observer; }

signals:
    // Something of deck's row changed; the window repaints the row.
    void deckChanged(int deck);
    // The label must be repainted now, not at the next event loop pass.
    void deckRepaintRequested(int deck);
    void timeMeterChanged(float value);
    void hiddenStatusChanged(const QString& text);
    // After each fire: error names deck, file and reason when the cart cannot play, and is
    // empty when it plays.
    void fired(int deck, const QString& error);
    // ResetTimeDisplay's repaint of the whole main window once a stopped deck is at rest.
    void windowRefreshRequested();
    // The player was told to play: the end-of-cart check has work again.
    void endCheckWanted();

private:
    struct Deck {
        QString filePath;
        QString idleTimeText;
        QString lockedPath;
        QString modeWord;
        DeckControls controls;
        std::shared_ptr<Cart> cart; // keeps the loaded file's audio reachable
        // A load waiting for its file to be measured: the file and the deck's caption.
        QString pendingPath;
        QString pendingCaption;
    };

    static bool isDeck(int deck) { return deck >= 1 && deck <= kDeckCount; }
    // Callers check isDeck first.
    Deck& at(int deck) { return m_decks[std::size_t(deck - 1)]; }
    // An empty row for numbers outside 1..10.
    const Deck& row(int deck) const;
    bool playerPlays() const;
    void setTimeMeter(float value);
    void setDeckCaption(int deck, const QString& caption);
    void setDeckColour(int deck, Colour colour);
    void setTimeCaption(int deck, const QString& caption);
    void setFilePath(int deck, const QString& path);
    void setModeWord(int deck, const QString& word);
    void setHiddenStatus(const QString& text);
    // Opens path on MMPreview; false, with MMPreview closed again, while it is measured.
    bool openOnPreview(const QString& path);
    // The length text of the cart open on MMPreview, which the deck holds from now on;
    // MMPreview is closed.
    QString takePreviewCart(int deck);
    // The rest of the deck's waiting load, with its file open on MMPreview.
    void finishLoad(int deck);
    // Empties the deck unless it is locked; a waiting load stays.
    void emptyDeck(int deck);
    // The deck whose cart follows the current one when it ends: the next deck for a
    // Sequence (an empty one ends the chain), the same deck for a Loop; 0 for none.
    int followerDeck() const;
    // Keeps the follower's cart armed on the player, so that it starts on the frame after
    // the current cart's last; every routine that may change the follower ends here.
    void armFollower();

    MciDevice& m_player;
    MciDevice& m_preview;
    const CartSelection& m_selection;
    EventPump& m_pump;
    PlayObserver* m_observer = nullptr;

    std::array<Deck, kDeckCount> m_decks;
    int m_currentDeck = 0;
    bool m_stoppedByOperator = false;
    int m_dragSourceDeck = 0;
    bool m_playLatch = false;
    bool m_displayLatch = false;
    float m_timeMeter = 0.0f;
    QString m_hiddenStatus = QStringLiteral("Label2");
    int m_reportedErrors = 0;
};

// Milliseconds to the deck time text: hours unpadded, minutes and seconds two digits,
// seconds rounded half to even ("0:00:00", "1:02:05").
QString FormatDeckTime(qint64 ms);

// "MPEGVideo" for names ending in .MPG, .MP3 or MPEG (any case), else "WaveAudio".
QString DeviceTypeFor(const QString& filePath);
