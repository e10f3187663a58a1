#include "app/appform1.h"

#include "app/statusline.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "library/cartlibrary.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/buttonrow.h"
#include "shell/functionkeys.h"
#include "ui/dragproxy.h"
#include "ui/form1.h"
#include "ui/qtdrag.h"
#include "ui/qtkeys.h"

#include <QDrag>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>

namespace {

// What the pointer carries while a cart is dragged from a deck: the outline of the slot.
QPixmap deckOutline(QSize size) {
    QPixmap outline(size);
    outline.fill(Qt::transparent);
    QPainter painter(&outline);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(outline.rect().adjusted(0, 0, -1, -1));
    return outline;
}

void setBackground(EventLabel* label, quint32 rgb) {
    if (label->background() != rgb || !label->autoFillBackground())
        label->setBackground(rgb);
}

} // namespace

Form1Binding::Form1Binding(Form1& form, DeckEngine& decks, CartList& list, CategoryTabs& tabs,
                           StationSettings& settings, CartLibrary& library, FunctionKeys& keys,
                           ButtonRow& buttons, StatusLine& status, QObject* parent)
    : QObject(parent), m_form(form), m_decks(decks), m_list(list), m_tabs(tabs),
      m_settings(settings), m_library(library), m_keys(keys), m_buttons(buttons), m_status(status) {
    m_form.File1()->setModel(&m_fileModel);

    for (int deck = 1; deck <= kDeckCount; ++deck)
        renderDeck(deck);
    renderMeter(m_decks.TimeMeterValue());
    m_form.Label2()->setText(m_decks.hiddenStatus());
    renderStatusLine();
    m_form.Label3()->setText(m_settings.callLetters());
    renderTabs();
    renderList();

    bindDecks();
    bindLibrary();
    bindButtons();
    bindKeys();
    bindDrags();
}

Form1Binding::~Form1Binding() = default;

void Form1Binding::renderDeck(int deck) {
    const DeckEngine::DeckControls& row = m_decks.Controls(deck);
    m_form.DeckLabel(deck)->setText(row.deckCaption);
    setBackground(m_form.DeckLabel(deck), row.deckColour);
    m_form.TimeLabel(deck)->setText(row.timeCaption);
    m_form.PlayMode(deck)->setText(row.modeCaption);
    setBackground(m_form.PlayMode(deck), row.modeColour);
    setBackground(m_form.DeckLock(deck), row.lockColour);
}

void Form1Binding::renderStatusLine() {
    ElidedLabel* line = m_form.statusLine();
    QPalette colours; // the colours the label inherits
    if (m_status.isWarning()) {
        colours = line->palette();
        colours.setColor(QPalette::WindowText, Qt::red);
    }
    line->setPalette(colours);
    line->setFullText(m_status.text());
}

void Form1Binding::renderMeter(float value) {
    QProgressBar* meter = m_form.TimeMeter();
    meter->setValue(std::clamp(qRound(value), meter->minimum(), meter->maximum()));
}

void Form1Binding::renderTabs() {
    m_rendering = true;
    TabStrip* strip = m_form.TabStrip1();
    while (strip->count() > 0)
        strip->removeTab(strip->count() - 1);
    for (int tab = 1; tab <= m_tabs.Count(); ++tab)
        strip->addTab(m_tabs.Caption(tab));
    m_rendering = false;
    renderSelectedTab();
}

void Form1Binding::renderSelectedTab() {
    m_rendering = true;
    m_form.TabStrip1()->setCurrentIndex(m_tabs.SelectedIndex() - 1);
    m_rendering = false;
}

void Form1Binding::renderList() {
    m_rendering = true;
    m_fileModel.setStringList(m_list.names());
    m_rendering = false;
    renderListIndex();
}

void Form1Binding::renderListIndex() {
    m_rendering = true;
    CartListView* view = m_form.File1();
    const QModelIndex row = m_fileModel.index(m_list.ListIndex());
    if (row.isValid()) {
        view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
        view->scrollTo(row);
    } else {
        view->selectionModel()->clear();
    }
    m_rendering = false;
}

void Form1Binding::bindDecks() {
    connect(&m_decks, &DeckEngine::deckChanged, this, &Form1Binding::renderDeck);
    // The engine asks for these while it holds the UI thread (loading, counting down):
    // the label is painted now, not when the event loop next runs.
    connect(&m_decks, &DeckEngine::deckRepaintRequested, this, [this](int deck) {
        renderDeck(deck);
        m_form.DeckLabel(deck)->repaint();
        m_form.TimeLabel(deck)->repaint();
    });
    connect(&m_decks, &DeckEngine::timeMeterChanged, this, &Form1Binding::renderMeter);
    connect(&m_decks, &DeckEngine::hiddenStatusChanged, m_form.Label2(), &QLabel::setText);
    connect(&m_status, &StatusLine::changed, this, &Form1Binding::renderStatusLine);
    connect(&m_decks, &DeckEngine::windowRefreshRequested, &m_form, qOverload<>(&QWidget::update));

    for (int deck = 1; deck <= kDeckCount; ++deck) {
        EventLabel* slot = m_form.DeckLabel(deck);
        // A click on the slot does nothing; a press starts a drag, a double-click fires.
        connect(slot, &EventLabel::doubleClicked, this, [this, deck] { m_decks.FireDeck(deck); });
        connect(slot, &EventLabel::pressed, this, [this, deck] { m_decks.BeginDeckDrag(deck); });
        slot->setDropEnabled(true);
        connect(slot, &EventLabel::dropped, this,
                [this, deck](DragProxy proxy) { m_decks.DropOnDeck(deck, proxy); });
        connect(m_form.TimeLabel(deck), &EventLabel::clicked, this,
                [this, deck] { m_decks.ClearDeck(deck); });
        connect(m_form.PlayMode(deck), &EventLabel::clicked, this,
                [this, deck] { m_decks.CyclePlayMode(deck); });
        connect(m_form.DeckLock(deck), &EventLabel::clicked, this,
                [this, deck] { m_decks.ToggleDeckLock(deck); });
    }
}

void Form1Binding::bindLibrary() {
    connect(&m_settings, &StationSettings::callLettersChanged, m_form.Label3(), &QLabel::setText);

    connect(&m_tabs, &CategoryTabs::tabsChanged, this, &Form1Binding::renderTabs);
    connect(&m_tabs, &CategoryTabs::selectedChanged, this, &Form1Binding::renderSelectedTab);
    TabStrip* strip = m_form.TabStrip1();
    connect(strip, &QTabBar::currentChanged, this, [this](int index) {
        if (m_rendering || index < 0)
            return;
        m_tabs.Select(index + 1);
        m_library.Form1_TabStrip1_Click();
    });
    // A click on the tab already chosen reads its folder again too.
    connect(strip, &QTabBar::tabBarClicked, this, [this, strip](int index) {
        if (index >= 0 && index == strip->currentIndex())
            m_library.Form1_TabStrip1_Click();
    });

    connect(&m_list, &CartList::listChanged, this, &Form1Binding::renderList);
    connect(&m_list, &CartList::listIndexChanged, this, &Form1Binding::renderListIndex);
    connect(m_form.File1()->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_rendering)
            return;
        const QModelIndexList rows = m_form.File1()->selectionModel()->selectedRows();
        m_list.setListIndex(rows.isEmpty() ? -1 : rows.first().row());
    });

    SearchBox* search = m_form.Text1();
    connect(search, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_list.CartListSearch(text); });
    // Clicked or focused, the box selects its whole text, so the next letter starts a new
    // search.
    connect(search, &SearchBox::clicked, search, &QLineEdit::selectAll);
    connect(search, &SearchBox::gotFocus, search, &QLineEdit::selectAll);
}

void Form1Binding::bindButtons() {
    connect(m_form.SSCommand6(), &QPushButton::clicked, this,
            [this] { m_buttons.Form1_SSCommand6_Click(); });
    connect(m_form.SSCommand4(), &QPushButton::clicked, this,
            [this] { m_buttons.Form1_SSCommand4_Click(); });
    m_form.SSCommand4()->setDropEnabled(true);
    // The drop may ask the operator (deleting a file): the question waits until the drag
    // is over.
    connect(m_form.SSCommand4(), &PictureButton::dropped, this, [this](DragProxy proxy) {
        QMetaObject::invokeMethod(
            this, [this, proxy] { m_buttons.Form1_SSCommand4_DragDrop(proxy); },
            Qt::QueuedConnection);
    });
}

void Form1Binding::bindKeys() {
    // The window itself, the list, the search box, the logo, the six buttons and the tab
    // strip forward their keys.
    auto* forwarder = new KeyForwarder(
        [this](int keyCode, int shift) { m_keys.HandleFunctionKey(keyCode, shift); }, this);
    forwarder->forwardFrom(&m_form);
    forwarder->forwardFrom(m_form.File1());
    forwarder->forwardFrom(m_form.Text1());
    forwarder->forwardFrom(m_form.Picture1());
    forwarder->forwardFrom(m_form.TabStrip1());
    for (int n = 1; n <= Form1::kButtonCount; ++n)
        forwarder->forwardFrom(m_form.SSCommand(n));

    connect(&m_keys, &FunctionKeys::searchFocusRequested, this, [this] {
        // From another window: a minimized main window comes back too.
        m_form.setWindowState(m_form.windowState() & ~Qt::WindowMinimized);
        m_form.raise();
        m_form.activateWindow();
        m_form.Text1()->setFocus(Qt::OtherFocusReason);
        // A box that had the focus already gets no focus event: select its text here too.
        m_form.Text1()->selectAll();
    });
}

void Form1Binding::bindDrags() {
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        new DragStarter(
            m_form.DeckLabel(deck), [this, deck](QPoint pressPos) { dragFromDeck(deck, pressPos); },
            this);
    }
    new DragStarter(
        m_form.File1()->viewport(), [this](QPoint) { dragFromList(); }, this);
}

void Form1Binding::dragFromDeck(int deck, QPoint pressPos) {
    EventLabel* slot = m_form.DeckLabel(deck);
    auto* drag = new QDrag(slot);
    auto* mime = new QMimeData;
    setDragProxy(*mime, DragProxy::DeckCart);
    drag->setMimeData(mime);
    drag->setPixmap(deckOutline(slot->size()));
    drag->setHotSpot(pressPos);
    drag->exec(Qt::MoveAction);
}

void Form1Binding::dragFromList() {
    auto* drag = new QDrag(m_form.File1());
    auto* mime = new QMimeData;
    setDragProxy(*mime, DragProxy::ListFile);
    drag->setMimeData(mime);
    // Only the drag icon of Label42 shows at the pointer.
    const QPixmap icon = m_form.Label42DragIcon();
    drag->setPixmap(icon);
    drag->setHotSpot(QPoint(icon.width(), icon.height()) / (2 * icon.devicePixelRatio()));
    drag->exec(Qt::MoveAction);
}
