#include "ui/form1.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>

namespace {

constexpr quint32 kYellow = 0xFFFF00;
constexpr QColor kCallLettersGround{192, 192, 192};

// The design-time default of every control on the window.
QFont defaultFont() {
    return designFont(kSansFace, 8.25);
}

void setIndex(QWidget* control, const char* array, int index) {
    control->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index));
    control->setProperty("Index", index);
}

void setOpaqueBackground(QWidget* control, QPalette::ColorRole role, const QColor& colour) {
    QPalette colours = control->palette();
    colours.setColor(role, colour);
    control->setPalette(colours);
    control->setBackgroundRole(role);
    control->setAutoFillBackground(true);
}

// A plain label with the look of a bordered, centred one.
void setBoxed(QLabel* label) {
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
}

} // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Airloom 32"));
    setWindowIcon(artwork::windowIcon());
    // Fixed single border: a system menu, close and minimize buttons, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // One line below the frames holds the status line.
    setFixedSize(twipsSize(8535, 7995));
    setFont(defaultFont());

    createHeader();
    createLibrary();
    createDecks();
    createHidden();
    setFocusOrder();

    // The first control in the tab order holds the focus when the window opens, so the
    // function keys work at once.
    SSCommand1()->setFocus();

    if (const QScreen* here = screen())
        move(here->availableGeometry().center() - rect().center());
}

void Form1::createHeader() {
    m_picture1 = new QLabel(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(twipsRect(240, 120, 1080, 450));
    m_picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture1->setLineWidth(1);
    m_picture1->setAlignment(Qt::AlignCenter);
    m_picture1->setPixmap(artwork::logo(devicePixelRatioF()));
    setOpaqueBackground(m_picture1, QPalette::Base, palette().color(QPalette::Base));
    m_picture1->setFocusPolicy(Qt::StrongFocus);

    m_label3 = new QLabel(this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setGeometry(twipsRect(1560, 120, 2415, 435));
    m_label3->setAlignment(Qt::AlignCenter);
    m_label3->setFont(designFont(kSansFace, 13.5, true));
    setOpaqueBackground(m_label3, QPalette::Window, kCallLettersGround);

    // Left to right on the screen: 6, 1, 4, 5, 3, 2, 720 twips apart.
    struct Button {
        int number;
        QIcon (*icon)();
        QString accessibleName;
    };
    const Button row[kButtonCount] = {
        {6, artwork::filingCabinet, tr("Refresh the cart list")},
        {1, artwork::wrench, tr("Configuration")},
        {4, artwork::wasteBin, tr("Clear the decks; drop a deck or a file here")},
        {5, artwork::aboutBubble, tr("About Airloom")},
        {3, artwork::helpBubble, tr("Help")},
        {2, artwork::exitDoor, tr("Exit")},
    };
    int left = 4200;
    for (const Button& button : row) {
        auto* control = new PictureButton(this);
        control->setObjectName(QStringLiteral("SSCommand%1").arg(button.number));
        control->setGeometry(twipsRect(left, 120, 600, 600));
        control->setIcon(button.icon());
        control->setAccessibleName(button.accessibleName);
        m_ssCommand.at(button.number - 1) = control;
        left += 720;
    }
    SSCommand4()->setDropEnabled(true);
}

void Form1::createLibrary() {
    m_frame2 = new QGroupBox(QStringLiteral("Available Carts"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setGeometry(twipsRect(0, 720, 3735, 6855));

    // The tab strip's area: one row of tabs along the top, its page below.
    const QRect tabArea = twipsRect(120, 360, 3495, 5895);
    auto* page = new TabPage(m_frame2);
    page->setObjectName(QStringLiteral("TabStrip1Page"));
    m_tabStrip1 = new TabStrip(m_frame2);
    m_tabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    const int rowHeight = m_tabStrip1->rowHeight();
    m_tabStrip1->setGeometry(tabArea.x(), tabArea.y(), tabArea.width(), rowHeight);
    const int overlap =
        m_tabStrip1->style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, m_tabStrip1);
    page->setGeometry(tabArea.adjusted(0, rowHeight - overlap, 0, 0));

    // The list lies on the tab strip's page.
    m_file1 = new CartListView(m_frame2);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->setGeometry(twipsRect(240, 840, 3255, 5160));
    m_file1->raise();

    m_label4 = new QLabel(QStringLiteral("Search"), m_frame2);
    m_label4->setObjectName(QStringLiteral("Label4"));
    m_label4->setGeometry(twipsRect(120, 6480, 615, 255));

    m_text1 = new SearchBox(m_frame2);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(twipsRect(840, 6480, 2655, 285));

    m_label42 = new QLabel(QStringLiteral("Label42"), m_frame2);
    m_label42->setObjectName(QStringLiteral("Label42"));
    m_label42->setGeometry(twipsRect(0, 6720, 735, 135));
    m_label42->hide();
    m_label42->lower();
}

void Form1::createDecks() {
    m_frame1 = new QGroupBox(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twipsRect(3840, 720, 4695, 6855));

    const QFont numberFont = designFont(kSansFace, 18, true);
    const QFont slotFont = designFont(kSansFace, 9.75);
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        const int top = 360 + 600 * (deck - 1);

        auto* lock = new EventLabel(m_frame1);
        setIndex(lock, "DeckLock", deck);
        lock->setGeometry(twipsRect(240, top, 495, 495));
        lock->setText(QString::number(deck));
        lock->setFont(numberFont);
        lock->setBackground(kYellow);
        m_deckLock.at(deck - 1) = lock;

        auto* slot = new EventLabel(m_frame1);
        setIndex(slot, "DeckLabel", deck);
        slot->setGeometry(twipsRect(840, top, 2775, 495));
        slot->setText(QStringLiteral("Label2"));
        slot->setFont(slotFont);
        slot->setDropEnabled(true);
        m_deckLabel.at(deck - 1) = slot;

        auto* mode = new EventLabel(m_frame1);
        setIndex(mode, "PlayMode", deck);
        mode->setGeometry(twipsRect(3720, top + 240, 735, 255));
        m_playMode.at(deck - 1) = mode;

        // The time box shares its bottom line with the mode box and lies over it.
        auto* time = new EventLabel(m_frame1);
        setIndex(time, "TimeLabel", deck);
        time->setGeometry(twipsRect(3720, top, 735, 255));
        time->setText(QStringLiteral("0:00:00"));
        m_timeLabel.at(deck - 1) = time;
    }

    m_timeMeter = new QProgressBar(m_frame1);
    m_timeMeter->setObjectName(QStringLiteral("TimeMeter"));
    m_timeMeter->setGeometry(twipsRect(240, 6360, 4215, 255));
    m_timeMeter->setRange(0, 60);
    m_timeMeter->setValue(0);
    m_timeMeter->setTextVisible(false);

    // Drawn on the frame's surface, under the meter.
    m_label1 = new QLabel(QStringLiteral("DragDropLabel"), m_frame1);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(840, 6360, 2775, 495));
    setBoxed(m_label1);
    m_label1->setFont(designFont(kSansFace, 11.25));
    m_label1->hide();
    m_label1->lower();
}

// Label2 receives the deck engine's notes and is never seen. The status line runs along the
// bottom of the window, under the frames, across the whole width.
void Form1::createHidden() {
    m_label2 = new QLabel(QStringLiteral("Label2"), this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(twipsRect(120, 7680, 6615, 255));
    m_label2->hide();

    m_statusLine = new ElidedLabel(this);
    m_statusLine->setObjectName(QStringLiteral("StatusLine"));
    m_statusLine->setGeometry(twipsRect(120, 7680, 8295, 255));
}

void Form1::setFocusOrder() {
    QWidget* const order[] = {SSCommand1(), SSCommand4(), SSCommand5(), SSCommand3(), SSCommand2(),
                              m_picture1,   SSCommand6(), m_tabStrip1,  m_file1,      m_text1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closing();
}

QPixmap Form1::Label42DragIcon() const {
    return artwork::dragArrow(devicePixelRatioF());
}
