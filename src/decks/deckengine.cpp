#include "decks/deckengine.h"

#include "audio/cart.h"
#include "common/cartselection.h"
#include "common/eventpump.h"
#include "decks/mcidevice.h"

#include <algorithm>
#include <utility>

namespace {

const QString kZeroTime = QStringLiteral("0:00:00");
using DeckMode::kLoop;
using DeckMode::kNorm;
using DeckMode::kSeqnc;

DeckEngine::Colour modeColour(const QString& word) {
    if (word == kSeqnc)
        return DeckEngine::kCyan;
    if (word == kLoop)
        return DeckEngine::kRed;
    return DeckEngine::kYellow;
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The player is always opened the same way before a file is given to it.
void prepareOpen(MciDevice& device) {
    device.Command(QStringLiteral("Close"));
    device.setTimeFormat(0);
    device.setNotify(true);
    device.setWait(false);
    device.setShareable(false);
}

} // namespace

DeckEngine::DeckEngine(MciDevice& player, MciDevice& preview, const CartSelection& selection,
                       EventPump& pump, QObject* parent)
    : QObject(parent), m_player(player), m_preview(preview), m_selection(selection), m_pump(pump) {
    m_player.setUpdateInterval(kStatusUpdateInterval);
    connect(&m_player, &MciDevice::StatusUpdate, this, &DeckEngine::MMControl1_StatusUpdate);
    connect(&m_preview, &MciDevice::CartChanged, this, &DeckEngine::CartFileChanged);
}

const DeckEngine::Deck& DeckEngine::row(int deck) const {
    static const Deck kNoDeck;
    return isDeck(deck) ? m_decks[std::size_t(deck - 1)] : kNoDeck;
}

bool DeckEngine::playerPlays() const {
    return m_player.Mode() == MciDevice::kModePlaying;
}

bool DeckEngine::EndCheckIdle() const {
    return !m_playLatch && !m_displayLatch && !playerPlays();
}

bool DeckEngine::IsPlaying(int deck) const {
    return isDeck(deck) && deck == m_currentDeck && playerPlays();
}

// --- Deck table and loading -------------------------------------------------------------

void DeckEngine::LoadCart(int deck) {
    if (!isDeck(deck) || !at(deck).lockedPath.isEmpty())
        return;
    const QString fileName = m_selection.FileName();
    if (!fileName.isEmpty())
        LoadCartFile(deck, m_selection.Path(), fileName);
}

void DeckEngine::LoadCartFile(int deck, const QString& folder, const QString& fileName) {
    if (!isDeck(deck) || !at(deck).lockedPath.isEmpty() || fileName.isEmpty())
        return;
    Deck& d = at(deck);
    d.pendingPath = JoinCartPath(folder, fileName);
    // The cart's name is the file name less its extension (".wav", ".mpg", ".mp3").
    d.pendingCaption = fileName.left(std::max<qsizetype>(0, fileName.size() - 4));
    // Opening on MMPreview measures the cart and prepares it for an instant start; a file
    // not measured yet is loaded when its measurement is reported (CartFileChanged).
    if (openOnPreview(d.pendingPath))
        finishLoad(deck);
}

void DeckEngine::finishLoad(int deck) {
    Deck& d = at(deck);
    setDeckCaption(deck, std::exchange(d.pendingCaption, {}));
    setFilePath(deck, std::exchange(d.pendingPath, {}));
    setDeckColour(deck, kYellow);
    const QString text = takePreviewCart(deck);
    setHiddenStatus(m_preview.FileName());
    setTimeCaption(deck, text);
    emit deckRepaintRequested(deck);
    if (d.idleTimeText != text) {
        d.idleTimeText = text;
        emit deckChanged(deck);
    }
    armFollower();
}

bool DeckEngine::openOnPreview(const QString& path) {
    prepareOpen(m_preview);
    m_preview.setFileName(path);
    m_preview.setDeviceType(DeviceTypeFor(path));
    m_preview.setShareable(false);
    m_preview.Command(QStringLiteral("Open"));
    m_preview.Command(QStringLiteral("Back"));
    m_preview.Command(QStringLiteral("Stop"));
    if (m_preview.Mode() != MciDevice::kModeNotReady)
        return true;
    m_preview.Command(QStringLiteral("Close"));
    return false;
}

QString DeckEngine::takePreviewCart(int deck) {
    const QString text = FormatDeckTime(m_preview.Length());
    at(deck).cart = m_preview.cart();
    m_preview.Command(QStringLiteral("Close"));
    return text;
}

void DeckEngine::CartFileChanged(const QString& path) {
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        Deck& d = at(deck);
        if (!d.pendingPath.isEmpty() && d.pendingPath == path) {
            // Still waiting if the file changed again while it was measured.
            if (openOnPreview(path))
                finishLoad(deck);
            continue;
        }
        if (d.filePath != path || IsPlaying(deck))
            continue;
        // Only a deck at rest shows the new length; a file measured again is taken up
        // when that measurement is reported.
        const bool atRest = d.controls.timeCaption == d.idleTimeText;
        if (!openOnPreview(path))
            continue;
        const QString text = takePreviewCart(deck);
        if (!atRest || d.idleTimeText == text)
            continue;
        d.idleTimeText = text;
        setTimeCaption(deck, text);
    }
    // An armed follower of that file holds the cart as it was: it is armed afresh.
    if (const int next = followerDeck(); next != 0 && row(next).filePath == path)
        m_player.Disarm();
    armFollower();
}

void DeckEngine::ClearDeck(int deck) {
    if (!isDeck(deck) || !at(deck).lockedPath.isEmpty())
        return;
    at(deck).pendingPath.clear();
    emptyDeck(deck);
}

void DeckEngine::emptyDeck(int deck) {
    if (!isDeck(deck) || !at(deck).lockedPath.isEmpty())
        return;
    setDeckCaption(deck, QString());
    setFilePath(deck, QString());
    at(deck).cart.reset();
    setDeckColour(deck, kBlack);
    setTimeCaption(deck, kZeroTime);
    armFollower();
}

void DeckEngine::ClearDeckLabels() {
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        setDeckCaption(deck, QString());
        setDeckColour(deck, kBlack);
    }
}

void DeckEngine::SetDeckMode(int deck, const QString& modeWord) {
    if (!isDeck(deck))
        return;
    // The settings decode to one of the three words; anything else is Normal.
    const bool known = modeWord == kNorm || modeWord == kSeqnc || modeWord == kLoop;
    setModeWord(deck, known ? modeWord : kNorm);
    armFollower();
}

// --- Transport and modes ----------------------------------------------------------------

void DeckEngine::FireDeck(int deck) {
    if (!isDeck(deck))
        return;
    if (!playerPlays()) {
        if (!at(deck).filePath.isEmpty())
            StartDeckPlayback(deck);
        return;
    }
    // A cart plays: its own deck's key stops it, another loaded deck cuts it off.
    if (deck == m_currentDeck)
        StopCart();
    else if (!at(deck).filePath.isEmpty())
        StartDeckPlayback(deck);
}

void DeckEngine::StopCart() {
    if (m_observer)
        m_observer->playEnding(PlayObserver::Ending::Stopped);
    m_player.Command(QStringLiteral("Stop"));
    m_stoppedByOperator = true;
    if (isDeck(m_currentDeck))
        ResetTimeDisplay(m_currentDeck);
    setTimeMeter(kMeterMin);
    if (isDeck(m_currentDeck))
        setTimeCaption(m_currentDeck, at(m_currentDeck).idleTimeText);
    armFollower();
}

void DeckEngine::StartDeckPlayback(int deck) {
    if (!isDeck(deck))
        return;
    m_stoppedByOperator = false;
    if (m_observer)
        m_observer->playEnding(PlayObserver::Ending::Cut);
    // Closing the player silences whatever was playing.
    prepareOpen(m_player);
    ResetTimeDisplay(m_currentDeck);
    m_currentDeck = deck;

    Deck& d = at(deck);
    if (d.idleTimeText != d.controls.timeCaption) {
        d.idleTimeText = d.controls.timeCaption;
        emit deckChanged(deck);
    }
    setHiddenStatus(d.filePath.right(4).toUpper());
    m_player.setDeviceType(DeviceTypeFor(d.filePath));
    m_player.setFileName(d.filePath);
    m_player.Command(QStringLiteral("Open"));
    m_player.Command(QStringLiteral("Back"));
    m_player.Command(QStringLiteral("Stop"));
    m_player.Command(QStringLiteral("Play"));
    emit endCheckWanted();
    // A cart that cannot play is told at once, never in a box that would hold the
    // operator; the deck's state is whatever the player reports.
    const QString error = m_player.ErrorMessage();
    emit fired(
        deck, error.isEmpty()
                  ? QString()
                  : QStringLiteral("Deck %1: %2: %3").arg(deck).arg(fileNameOf(d.filePath), error));
    if (m_observer)
        m_observer->playStarted(deck);
    armFollower();
}

// The end of a cart is found by polling the player's mode against PlayLatch; the player's
// completion notice is not used.
void DeckEngine::CartFinished() {
    ResetTimeDisplay(m_currentDeck);
    if (m_stoppedByOperator)
        m_playLatch = false;
    if (!m_playLatch && m_player.Mode() == MciDevice::kModePlaying)
        m_playLatch = true;
    if (m_player.Mode() != MciDevice::kModeStopped || !m_playLatch)
        return;

    setTimeMeter(kMeterMin);
    if (m_observer)
        m_observer->playEnding(PlayObserver::Ending::End);
    // The follower has been heard from its first frame on: starting its deck takes it up.
    if (const int next = followerDeck())
        StartDeckPlayback(next);
    m_playLatch = false;
    armFollower();
}

int DeckEngine::followerDeck() const {
    if (!isDeck(m_currentDeck))
        return 0;
    const QString& word = row(m_currentDeck).modeWord;
    int next = 0;
    // Empty decks are not skipped: an empty next deck ends the chain.
    if (word == kSeqnc)
        next = m_currentDeck == kDeckCount ? 1 : m_currentDeck + 1;
    else if (word == kLoop)
        next = m_currentDeck;
    return next != 0 && !row(next).filePath.isEmpty() ? next : 0;
}

void DeckEngine::armFollower() {
    const int next = m_stoppedByOperator ? 0 : followerDeck();
    m_player.ArmNext(next != 0 ? row(next).filePath : QString());
}

void DeckEngine::CyclePlayMode(int deck) {
    if (!isDeck(deck))
        return;
    const QString& word = at(deck).modeWord;
    if (word.isEmpty() || word == kLoop)
        setModeWord(deck, kNorm);
    else if (word == kNorm)
        setModeWord(deck, kSeqnc);
    else if (word == kSeqnc)
        setModeWord(deck, kLoop);
    armFollower();
}

// --- Time display -----------------------------------------------------------------------

void DeckEngine::Time_Display() {
    if (!isDeck(m_currentDeck))
        return;
    const qint32 length = m_player.Length();
    const qint32 position = m_player.Position();
    const qint32 remaining = length - position;

    if (playerPlays()) {
        // A length of 0 cannot be divided by: the refresh is dropped through the error hook.
        if (length <= 0) {
            ReportError(QStringLiteral("Time_Display"), kErrDivisionByZero);
            return;
        }
        setTimeMeter(float(double(position) / double(length) * kMeterMax));
        setTimeCaption(m_currentDeck, FormatDeckTime(remaining));
        emit deckRepaintRequested(m_currentDeck);
        // Keys, clicks and timer ticks may run the engine from here.
        m_pump.processPendingEvents();
        return;
    }
    setTimeMeter(kMeterMin);
    setTimeCaption(m_currentDeck, at(m_currentDeck).idleTimeText);
}

void DeckEngine::ResetTimeDisplay(int deck) {
    if (!isDeck(deck))
        return;
    if (!m_displayLatch && playerPlays())
        m_displayLatch = true;
    if (!m_displayLatch)
        return;
    if (playerPlays()) {
        setDeckColour(deck, kBrightGreen);
        return;
    }
    // The player has stopped since the latch was set: the deck goes back to rest.
    setTimeCaption(m_currentDeck, kZeroTime);
    if (!at(deck).filePath.isEmpty()) {
        setDeckColour(deck, kYellow);
        setTimeMeter(kMeterMin);
        emit windowRefreshRequested();
    } else {
        // Emptied while its cart played; a load made since still waits for its file.
        emptyDeck(deck);
    }
    m_displayLatch = false;
}

void DeckEngine::ReportError(const QString& procedure, int errorNumber) {
    Q_UNUSED(procedure);
    Q_UNUSED(errorNumber);
    ++m_reportedErrors;
}

void DeckEngine::MMControl1_StatusUpdate() {
    Time_Display();
    CartFinished();
}

// --- Moving and locking -----------------------------------------------------------------

void DeckEngine::BeginDeckDrag(int deck) {
    if (isDeck(deck))
        m_dragSourceDeck = deck;
}

void DeckEngine::DropOnDeck(int deck, DragProxy source) {
    if (source == DragProxy::DeckCart)
        MoveCart(deck);
    else if (source == DragProxy::ListFile)
        LoadCart(deck);
}

void DeckEngine::MoveCart(int target) {
    const int source = m_dragSourceDeck;
    if (!isDeck(source) || !isDeck(target))
        return;
    if (playerPlays() && source == m_currentDeck)
        return;
    if (playerPlays() && target == m_currentDeck)
        return;
    if (!at(source).lockedPath.isEmpty() || !at(target).lockedPath.isEmpty())
        return;
    // A load waiting for either deck would land on a cart that has moved: it is dropped.
    if (source != target) {
        at(source).pendingPath.clear();
        at(target).pendingPath.clear();
    }

    // File and time text change places, then the names; modes, locks and idle texts stay
    // with the deck positions.
    std::swap(at(target).cart, at(source).cart);
    const QString keptPath = at(target).filePath;
    const QString keptTime = at(target).controls.timeCaption;
    setFilePath(target, at(source).filePath);
    setTimeCaption(target, at(source).controls.timeCaption);
    setFilePath(source, keptPath);
    setTimeCaption(source, keptTime);
    const QString keptCaption = at(source).controls.deckCaption;
    setDeckCaption(source, at(target).controls.deckCaption);
    setDeckCaption(target, keptCaption);

    for (const int deck : {source, target})
        setDeckColour(deck, at(deck).controls.deckCaption.isEmpty() ? kBlack : kYellow);
    armFollower();
}

void DeckEngine::ToggleDeckLock(int deck) {
    if (!isDeck(deck))
        return;
    Deck& d = at(deck);
    if (d.filePath.isEmpty())
        return;
    d.pendingPath.clear(); // a locked deck takes no load
    if (d.lockedPath.isEmpty()) {
        d.lockedPath = d.filePath;
        d.controls.lockColour = kGrey;
    } else {
        d.lockedPath.clear();
        d.controls.lockColour = kYellow;
    }
    emit deckChanged(deck);
}

// --- State changes: every change of a row is announced once -----------------------------

void DeckEngine::setTimeMeter(float value) {
    value = std::clamp(value, float(kMeterMin), float(kMeterMax));
    if (value == m_timeMeter)
        return;
    m_timeMeter = value;
    emit timeMeterChanged(value);
}

void DeckEngine::setDeckCaption(int deck, const QString& caption) {
    if (!isDeck(deck) || at(deck).controls.deckCaption == caption)
        return;
    at(deck).controls.deckCaption = caption;
    emit deckChanged(deck);
}

void DeckEngine::setDeckColour(int deck, Colour colour) {
    if (!isDeck(deck) || at(deck).controls.deckColour == colour)
        return;
    at(deck).controls.deckColour = colour;
    emit deckChanged(deck);
}

void DeckEngine::setTimeCaption(int deck, const QString& caption) {
    if (!isDeck(deck) || at(deck).controls.timeCaption == caption)
        return;
    at(deck).controls.timeCaption = caption;
    emit deckChanged(deck);
}

void DeckEngine::setFilePath(int deck, const QString& path) {
    if (!isDeck(deck) || at(deck).filePath == path)
        return;
    at(deck).filePath = path;
    emit deckChanged(deck);
}

void DeckEngine::setModeWord(int deck, const QString& word) {
    if (!isDeck(deck))
        return;
    Deck& d = at(deck);
    if (d.modeWord == word && d.controls.modeCaption == word &&
        d.controls.modeColour == modeColour(word))
        return;
    d.modeWord = word;
    d.controls.modeCaption = word;
    d.controls.modeColour = modeColour(word);
    emit deckChanged(deck);
}

void DeckEngine::setHiddenStatus(const QString& text) {
    if (m_hiddenStatus == text)
        return;
    m_hiddenStatus = text;
    emit hiddenStatusChanged(text);
}

// --- Formatting -------------------------------------------------------------------------

QString FormatDeckTime(qint64 ms) {
    // A negative time (a position read past the length) shows as nothing left.
    ms = std::max<qint64>(ms, 0);
    // Whole seconds, rounded half to even: 1 500 ms gives 2, 2 500 ms gives 2.
    qint64 seconds = ms / 1000;
    const qint64 rest = ms % 1000;
    if (rest > 500 || (rest == 500 && seconds % 2 == 1))
        ++seconds;
    const qint64 hours = seconds / 3600;
    seconds -= hours * 3600;
    const qint64 minutes = seconds / 60;
    seconds -= minutes * 60;
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

QString DeviceTypeFor(const QString& filePath) {
    const QString tail = filePath.right(4).toUpper();
    if (tail == QLatin1String(".MPG") || tail == QLatin1String(".MP3") ||
        tail == QLatin1String("MPEG"))
        return QStringLiteral("MPEGVideo");
    return QStringLiteral("WaveAudio");
}
