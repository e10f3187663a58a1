#include "app/appform2.h"

#include "common/messageboxes.h"
#include "config/configwindow.h"
#include "config/profilefile.h"
#include "shell/functionkeys.h"
#include "ui/addcat.h"
#include "ui/form2.h"
#include "ui/qtkeys.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFileIconProvider>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

using Surface = ConfigWindow::Surface;

Form2Binding::Form2Binding(Form2& form, ConfigWindow& config, FunctionKeys& keys)
    : QObject(&form), m_form(form), m_config(config) {
    m_form.Dir1()->setModel(&m_folders);
    renderCategory();
    renderFolder();
    renderDeckDefaults();
    renderCallLetters();
    m_form.showHelp(m_config.helpLine());

    bindCategory();
    bindRest();
    bindHelp();
    bindKeys(keys);
}

void Form2Binding::renderCategory() {
    m_rendering = true;
    m_form.Label16()->setText(m_config.categoryCaption());
    m_form.VScroll1()->setValue(m_config.categorySelector());
    if (m_form.Text1()->text() != m_config.categoryName())
        m_form.Text1()->setText(m_config.categoryName());
    m_rendering = false;
}

void Form2Binding::renderFolder() {
    m_rendering = true;
    QComboBox* drives = m_form.Drive1();
    const QList<Volume>& volumes = m_config.driveBox().volumes();
    bool same = drives->count() == volumes.size();
    for (int i = 0; same && i < volumes.size(); ++i)
        same = drives->itemText(i) == volumes[i].label;
    if (!same) {
        drives->clear();
        for (const Volume& volume : volumes)
            drives->addItem(volume.label);
    }
    drives->setCurrentIndex(m_config.driveBox().ListIndex());

    const FolderBox& box = m_config.folderBox();
    m_folders.clear();
    static const QFileIconProvider icons;
    const QIcon folder = icons.icon(QFileIconProvider::Folder);
    for (const FolderBox::Entry& entry : box.entries()) {
        auto* row = new QStandardItem(folder, entry.name);
        row->setData(entry.depth, FolderList::kDepthRole);
        row->setToolTip(entry.path);
        m_folders.appendRow(row);
    }
    m_form.Dir1()->setCurrentIndex(m_folders.index(box.openRow(), 0));
    m_form.Dir1()->scrollTo(m_form.Dir1()->currentIndex());
    m_rendering = false;
}

void Form2Binding::renderDeckDefaults() {
    for (int deck = 1; deck <= kDeckCount; ++deck)
        m_form.Option(deck, m_config.deckDefault(deck))->setChecked(true);
}

void Form2Binding::renderCallLetters() {
    if (m_form.Text2()->text() != m_config.callLetters())
        m_form.Text2()->setText(m_config.callLetters());
}

void Form2Binding::bindCategory() {
    connect(&m_config, &ConfigWindow::categoryChanged, this, &Form2Binding::renderCategory);
    connect(&m_config, &ConfigWindow::folderChanged, this, &Form2Binding::renderFolder);

    QScrollBar* selector = m_form.VScroll1();
    connect(selector, &QScrollBar::valueChanged, this, [this](int value) {
        if (m_rendering)
            return;
        endSelectorPress();
        m_config.Form2_VScroll1_Change(value);
    });
    // With tracking off, ending the drag shows the category under the thumb first.
    connect(selector, &QScrollBar::sliderMoved, this, [this] {
        endSelectorPress();
        m_config.Form2_VScroll1_Scroll();
    });

    SearchBox* name = m_form.Text1();
    connect(name, &QLineEdit::textEdited, &m_config, &ConfigWindow::Form2_Text1_Change);
    connect(name, &SearchBox::clicked, name, &QLineEdit::selectAll);
    connect(name, &SearchBox::gotFocus, name, &QLineEdit::selectAll);
    connect(m_form.Drive1(), &DriveList::droppingDown, &m_config,
            &ConfigWindow::Form2_Drive1_DropDown);
    connect(m_form.Drive1(), &QComboBox::activated, &m_config, &ConfigWindow::Form2_Drive1_Change);
    connect(m_form.Dir1(), &FolderList::openRequested, &m_config, &ConfigWindow::Form2_Dir1_Open);
    connect(m_form.Command1(), &QPushButton::clicked, &m_config,
            &ConfigWindow::Form2_Command1_Click);
}

// A message box shown in the middle of a press on the selector would take the button's
// release: the scroll bar would go on stepping (an arrow repeats while held) or dragging
// after the answer. The press ends here, as the release would end it.
void Form2Binding::endSelectorPress() {
    QScrollBar* selector = m_form.VScroll1();
    if (m_endingPress || QApplication::mouseButtons() == Qt::NoButton)
        return;
    m_endingPress = true;
    const QPoint at = QCursor::pos();
    QMouseEvent release(QEvent::MouseButtonRelease, selector->mapFromGlobal(at), at, Qt::LeftButton,
                        Qt::NoButton, QApplication::keyboardModifiers());
    QApplication::sendEvent(selector, &release);
    m_endingPress = false;
}

void Form2Binding::bindRest() {
    connect(&m_config, &ConfigWindow::deckDefaultsChanged, this, &Form2Binding::renderDeckDefaults);
    connect(&m_config, &ConfigWindow::callLettersChanged, this, &Form2Binding::renderCallLetters);
    connect(&m_config, &ConfigWindow::helpLineChanged, this,
            [this] { m_form.showHelp(m_config.helpLine()); });
    for (int deck = 1; deck <= kDeckCount; ++deck)
        for (int index = 0; index < 3; ++index)
            connect(m_form.Option(deck, index), &QRadioButton::clicked, this,
                    [this, deck, index] { m_config.Form2_Option_Click(deck, index); });
    connect(m_form.Text2(), &QLineEdit::textEdited, &m_config, &ConfigWindow::Form2_Text2_Change);
    connect(m_form.SSCommand1(), &QPushButton::clicked, &m_config,
            &ConfigWindow::Form2_SSCommand1_Click);
}

void Form2Binding::bindHelp() {
    QWidget* surfaces[] = {&m_form,
                           m_form.Frame1(),
                           m_form.Frame2(),
                           m_form.Frame3(),
                           m_form.Text1(),
                           m_form.Dir1(),
                           m_form.Command1(),
                           m_form.Dir1()->viewport(),
                           m_form.SSCommand1()};
    for (QWidget* surface : surfaces) {
        surface->setMouseTracking(true);
        surface->installEventFilter(this);
    }
}

// Over a window or a group only its own surface counts, not a control inside it.
bool Form2Binding::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseMove)
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    const bool ownSurface = widget->childAt(at) == nullptr;
    if (widget == &m_form && ownSurface)
        m_config.MouseMove(Surface::Window);
    else if (widget == m_form.Frame1() && ownSurface)
        m_config.MouseMove(Surface::CategoryGroup);
    else if (widget == m_form.Frame2() && ownSurface)
        m_config.MouseMove(Surface::DeckDefaults);
    else if (widget == m_form.Frame3() && ownSurface)
        m_config.MouseMove(Surface::CallLetters);
    else if (widget == m_form.Text1())
        m_config.MouseMove(Surface::CategoryName);
    else if (widget == m_form.Dir1() || widget == m_form.Dir1()->viewport())
        m_config.MouseMove(Surface::Folders);
    else if (widget == m_form.Command1())
        m_config.MouseMove(Surface::SaveButton);
    else if (widget == m_form.SSCommand1())
        m_config.MouseMove(Surface::ExitButton);
    return false;
}

void Form2Binding::bindKeys(FunctionKeys& keys) {
    // The call-letters box, the picture boxes and the covered group forward nothing.
    auto* forwarder = new KeyForwarder(
        [&keys](int keyCode, int shift) { keys.HandleFunctionKey(keyCode, shift); }, this);
    const QList<QWidget*> controls{&m_form,          m_form.Command1(),   m_form.Dir1(),
                                   m_form.Drive1(),  m_form.SSCommand1(), m_form.Text1(),
                                   m_form.VScroll1()};
    for (QWidget* control : controls)
        forwarder->forwardFrom(control);
    for (int deck = 1; deck <= kDeckCount; ++deck)
        for (int index = 0; index < 3; ++index)
            forwarder->forwardFrom(m_form.Option(deck, index));
}

ConfigWindows::ConfigWindows(ProfileFile& file, StationSettings& settings,
                             std::function<void()> applySettings, FunctionKeys& keys,
                             MessageBoxes& boxes, QWidget& mainWindow, QObject* parent)
    : QObject(parent), m_file(file), m_settings(settings),
      m_applySettings(std::move(applySettings)), m_keys(keys), m_boxes(boxes),
      m_mainWindow(mainWindow), m_categoryList(file.filePath()) {}

ConfigWindows::~ConfigWindows() {
    delete m_form2;
}

void ConfigWindows::Form1_SSCommand1_Click() {
    // Open already: brought forward as it is, not loaded again.
    if (!m_form2) {
        m_form2 = new Form2;
        m_config =
            new ConfigWindow(m_file, m_settings, m_boxes, m_applySettings, m_volumes, m_form2);
        m_config->Form2_Form_Load();
        new Form2Binding(*m_form2, *m_config, m_keys);
        connect(m_config, &ConfigWindow::closeRequested, this, &ConfigWindows::closeForm2);
        connect(m_form2->buttonAddFolder(), &QPushButton::clicked, this,
                &ConfigWindows::Form2_buttonAddFolder_Click);
    }
    // A window manager may minimize it (it has no taskbar entry to bring it back by).
    m_form2->setWindowState(m_form2->windowState() & ~Qt::WindowMinimized);
    m_form2->show();
    m_form2->raise();
    m_form2->activateWindow();
}

void ConfigWindows::closeForm2() {
    // The function keys work at once on the main window.
    m_mainWindow.raise();
    m_mainWindow.activateWindow();
    Form2* form = m_form2;
    m_form2 = nullptr;
    form->dismiss();
    form->deleteLater();
}

void ConfigWindows::Form2_buttonAddFolder_Click() {
    if (!m_addCat) {
        m_addCat = std::make_unique<AddCat>();
        connect(m_addCat->Command1(), &QPushButton::clicked, this,
                &ConfigWindows::AddCat_Command1_Click);
        connect(m_addCat->Command2(), &QPushButton::clicked, this,
                &ConfigWindows::AddCat_Command2_Click);
    }
    m_addCat->show();
    m_addCat->raise();
    m_addCat->activateWindow();
}

void ConfigWindows::AddCat_Command1_Click() {
    const ProfileFile::WriteResult appended = m_categoryList.AppendTitle(m_addCat->Text1()->text());
    if (!appended) {
        // The title stays in the box, to be tried again or cancelled.
        m_boxes.MsgBox(QStringLiteral("The category title was not saved. ") + appended.error,
                       MessageBoxes::kOkStop, QStringLiteral("Airloom"));
        return;
    }
    hideAddCat();
}

void ConfigWindows::AddCat_Command2_Click() {
    hideAddCat();
}

// The dialog was opened from the configuration window: the keyboard goes back there, not to
// whichever window the window manager picks.
void ConfigWindows::hideAddCat() {
    m_addCat->hide();
    if (m_form2) {
        m_form2->raise();
        m_form2->activateWindow();
    }
}

void ConfigWindows::closeAll() {
    if (m_form2) {
        Form2* form = m_form2;
        m_form2 = nullptr;
        form->dismiss();
        form->deleteLater();
    }
    // Left open, the dialog would keep the program running after its last window.
    if (m_addCat)
        m_addCat->close();
}
