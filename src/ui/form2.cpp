#include "ui/form2.h"

#include "ui/artwork.h"
#include "ui/fonts.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

constexpr QColor kHelpGround{192, 255, 255};
constexpr QColor kWhite{255, 255, 255};

template <typename Control> Control* place(Control* control, const char* name, QRect twips) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(twips);
    return control;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect twips) {
    return place(new QLabel(caption, parent), name, twips);
}

// A label with a fixed single border on a ground of its own.
void setBorderedGround(QLabel* label, const QColor& ground) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, ground);
    label->setPalette(colours);
    label->setAutoFillBackground(true);
}

// Indents each folder row by its depth.
class DepthDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.adjust(indentOf(index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
    }

private:
    static int indentOf(const QModelIndex& index) {
        return index.data(FolderList::kDepthRole).toInt() * FolderList::kIndent;
    }
};

} // namespace

FolderList::FolderList(QWidget* parent) : QListView(parent) {
    setItemDelegate(new DepthDelegate(this));
    setEditTriggers(NoEditTriggers);
    setUniformItemSizes(true);
    setIconSize({16, 16});
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid())
        emit openRequested(currentIndex().row());
    QListView::keyPressEvent(event);
}

void FolderList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex row = indexAt(event->position().toPoint());
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && row.isValid())
        emit openRequested(row.row());
}

void DriveList::showPopup() {
    emit droppingDown();
    QComboBox::showPopup();
}

Form2::Form2(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowIcon(artwork::windowIcon());
    // A tool window has no taskbar entry; with only a title hint it has no buttons and no
    // system menu, so its exit button is the only way out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(designFont(kSansFace, 8.25));
    // The client area's stored place on the screen.
    setGeometry(QRect(QPoint(twipsToPixels(1920), twipsToPixels(1515)), twipsSize(6510, 7020)));
    setFixedSize(twipsSize(6510, 7020));

    // Created bottom first: the help line, the covered group, the exit button, then the
    // frames, the call letters on top.
    m_label1 = label(this, "Label1", QString(), twipsRect(120, 5880, 6255, 735));
    setBorderedGround(m_label1, kHelpGround);
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    createAddRemove();
    m_ssCommand1 = place(new PictureButton(this), "SSCommand1", twipsRect(5760, 360, 600, 600));
    m_ssCommand1->setIcon(artwork::exitDoor());
    m_ssCommand1->setAccessibleName(tr("Exit the configuration"));
    createCategories();
    createDeckDefaults();
    createCallLetters();

    const QList<QWidget*> order = focusOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_drive1->setFocus();
}

void Form2::createCallLetters() {
    m_frame3 = place(new QGroupBox(QStringLiteral("Call letters"), this), "Frame3",
                     twipsRect(120, 240, 3015, 855));
    m_text2 = place(new QLineEdit(m_frame3), "Text2", twipsRect(240, 240, 2535, 480));
    m_text2->setAlignment(Qt::AlignCenter);
    m_text2->setMaxLength(10);
    m_text2->setFont(designFont(kSansFace, 13.5, true));
}

void Form2::createCategories() {
    m_frame1 = place(new QGroupBox(QStringLiteral("Category Configuration"), this), "Frame1",
                     twipsRect(120, 1200, 3015, 4335));
    // Opaque, so that nothing of the group underneath shows through.
    m_frame1->setAutoFillBackground(true);
    label(m_frame1, "Label17", QStringLiteral("Category (1-10):"), twipsRect(120, 360, 1935, 255));
    m_label16 =
        label(m_frame1, "Label16", QStringLiteral("Label16"), twipsRect(120, 600, 2295, 255));
    setBorderedGround(m_label16, kWhite);
    m_vscroll1 =
        place(new QScrollBar(Qt::Vertical, m_frame1), "VScroll1", twipsRect(2520, 440, 375, 615));
    m_vscroll1->setRange(1, 10);
    m_vscroll1->setSingleStep(1);
    m_vscroll1->setPageStep(1);
    m_vscroll1->setValue(1);
    // A drag of the thumb changes the value when it is released.
    m_vscroll1->setTracking(false);
    m_vscroll1->setFocusPolicy(Qt::StrongFocus);
    label(m_frame1, "Label15", QStringLiteral("Category Name:"), twipsRect(120, 1080, 1335, 255));
    m_text1 = place(new SearchBox(m_frame1), "Text1", twipsRect(120, 1320, 2775, 285));
    m_text1->setText(QStringLiteral("Text1"));
    m_drive1 = place(new DriveList(m_frame1), "Drive1", twipsRect(120, 1680, 2775, 315));
    m_drive1->setFocusPolicy(Qt::StrongFocus);
    m_dir1 = place(new FolderList(m_frame1), "Dir1", twipsRect(120, 2040, 2775, 1440));
    m_command1 = place(new QPushButton(QStringLiteral("Set &Folder && Name"), m_frame1), "Command1",
                       twipsRect(120, 3840, 2775, 375));
}

void Form2::createDeckDefaults() {
    m_frame2 = place(new QGroupBox(QStringLiteral("Deck Defaults"), this), "Frame2",
                     twipsRect(3360, 1320, 3015, 4335));
    label(m_frame2, "Label12", QStringLiteral("Norm"), twipsRect(600, 240, 495, 255));
    label(m_frame2, "Label13", QStringLiteral("Seqnc"), twipsRect(1320, 240, 615, 255));
    label(m_frame2, "Label14", QStringLiteral("Loop"), twipsRect(2040, 240, 615, 255));
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        const int top = 600 + 360 * (deck - 1);
        QLabel* number = label(m_frame2, "", QString::number(deck), twipsRect(240, top, 255, 255));
        number->setObjectName(QStringLiteral("Label%1").arg(deck + 1));
        number->setAlignment(Qt::AlignCenter);

        // Each deck's buttons lie in a borderless box of their own: one group per deck.
        auto* box = new QWidget(m_frame2);
        box->setObjectName(QStringLiteral("Picture%1").arg(deck));
        box->setGeometry(twipsRect(480, top, 2175, 255));
        box->setFocusPolicy(Qt::StrongFocus);
        m_picture.at(deck - 1) = box;
        for (int index = 0; index < 3; ++index) {
            auto* option = new OptionButton(box);
            option->setObjectName(QStringLiteral("Option%1_%2").arg(deck).arg(index));
            option->setProperty("Index", index);
            option->setGeometry(twipsRect(120 + 720 * index, 0, 375, 255));
            option->setAccessibleName(
                tr("Deck %1 %2")
                    .arg(deck)
                    .arg(QStringList{tr("Normal"), tr("Sequence"), tr("Loop")}[index]));
            m_option.at(deck - 1).at(index) = option;
        }
    }
}

void Form2::createAddRemove() {
    m_frame4 = place(new QGroupBox(QStringLiteral("Add/Remove Categories"), this), "Frame4",
                     twipsRect(120, 1800, 3015, 3615));
    m_list1 = place(new QListWidget(m_frame4), "List1", twipsRect(120, 360, 2775, 1425));
    m_positionUp =
        place(new QPushButton(m_frame4), "buttonPositionUp", twipsRect(2400, 1920, 375, 375));
    m_positionUp->setIcon(artwork::upTriangle());
    m_positionDown =
        place(new QPushButton(m_frame4), "buttonPositionDown", twipsRect(2400, 2400, 375, 375));
    m_positionDown->setIcon(artwork::downTriangle());
    QLabel* move =
        label(m_frame4, "Label20", QStringLiteral("Move:"), twipsRect(1680, 2220, 615, 255));
    move->setAlignment(Qt::AlignCenter);
    move->setFont(designFont(kSansFace, 8.25, true));
    m_addFolder = place(new QPushButton(QStringLiteral("&Add"), m_frame4), "buttonAddFolder",
                        twipsRect(240, 3000, 735, 375));
    m_removeFolder = place(new QPushButton(QStringLiteral("&Remove"), m_frame4),
                           "buttonRemoveFolder", twipsRect(1080, 3000, 735, 375));
    m_updateFolder = place(new QPushButton(QStringLiteral("&Update"), m_frame4),
                           "buttonUpdateFolder", twipsRect(1920, 3000, 735, 375));
}

void Form2::showHelp(const QString& text) {
    // The stand-in face is wider than the one the window was drawn for: a text that does not
    // fit takes 8 pt, no smaller, and the line then grows into the margin under it rather
    // than lose its last line.
    constexpr qreal kSmallest = 8.0;
    QRect drawn = twipsRect(120, 5880, 6255, 735);
    m_label1->setText(text);
    m_label1->setFont(font());
    if (m_label1->heightForWidth(drawn.width()) > drawn.height()) {
        QFont smaller = font();
        smaller.setPointSizeF(kSmallest);
        m_label1->setFont(smaller);
    }
    const int room = std::max(height() - drawn.top() - twipsToPixels(60), drawn.height());
    drawn.setHeight(std::clamp(m_label1->heightForWidth(drawn.width()), drawn.height(), room));
    m_label1->setGeometry(drawn);
}

void Form2::dismiss() {
    m_dismissing = true;
    close();
}

// Closed any other way, the window would skip the prompt, the call letters and the main
// window's refresh, and come back with stale edits.
void Form2::closeEvent(QCloseEvent* event) {
    if (!m_dismissing)
        event->ignore();
}

QList<QWidget*> Form2::focusOrder() const {
    QList<QWidget*> order{m_drive1, m_dir1, m_command1, m_text1};
    for (int deck = 1; deck <= kDeckCount; ++deck) {
        order << Picture(deck);
        // Deck 1's buttons left to right, the others right to left.
        for (int i = 0; i < 3; ++i)
            order << Option(deck, deck == 1 ? i : 2 - i);
    }
    order << m_vscroll1 << m_ssCommand1 << m_text2 << m_addFolder << m_removeFolder
          << m_updateFolder << m_positionDown << m_positionUp << m_list1;
    return order;
}
