#pragma once

#include "config/categorylist.h"
#include "config/configwindow.h"
#include "config/folderbox.h"
#include "ui/form2.h"

#include <QObject>
#include <QPointer>
#include <QStandardItemModel>
#include <functional>
#include <memory>

class AddCat;
class FunctionKeys;
class MessageBoxes;
class ProfileFile;
class StationSettings;

// Binds one configuration window to its behaviour: renders what ConfigWindow holds and
// forwards the window's edits, clicks, pointer moves and keys to it and to the key map. It
// decides nothing. Lives as long as the window. UI thread only.
class Form2Binding : public QObject {
    Q_OBJECT
public:
    Form2Binding(Form2& form, ConfigWindow& config, FunctionKeys& keys);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void renderCategory();
    void renderFolder();
    void renderDeckDefaults();
    void renderCallLetters();
    void endSelectorPress();
    void bindCategory();
    void bindRest();
    void bindHelp();
    void bindKeys(FunctionKeys& keys);

    Form2& m_form;
    ConfigWindow& m_config;
    QStandardItemModel m_folders;
    // Set while the controls are brought in line with the behaviour, so their own change
    // signals are not taken for the operator's.
    bool m_rendering = false;
    bool m_endingPress = false;
};

// The configuration window and the Add Category dialog of the running program: the main
// window's wrench opens the configuration window beside it (or brings it forward), its exit
// button discards it, and Alt+A in it shows the dialog, which is only ever hidden.
// UI thread only.
class ConfigWindows : public QObject {
    Q_OBJECT
public:
    // applySettings: what the configuration window's closing hands to the main window (its
    // LoadSettings and a fresh read of the cart list).
    ConfigWindows(ProfileFile& file, StationSettings& settings, std::function<void()> applySettings,
                  FunctionKeys& keys, MessageBoxes& boxes, QWidget& mainWindow,
                  QObject* parent = nullptr);
    ~ConfigWindows() override;

    // Where the drive box finds its volumes; the mounted file systems unless set.
    void setVolumeSource(VolumeSource source) { m_volumes = std::move(source); }

    void Form1_SSCommand1_Click();
    void Form2_buttonAddFolder_Click();
    // OK appends the title to the category list and hides the dialog; a failure is
    // reported and the dialog stays. Cancel hides it.
    void AddCat_Command1_Click();
    void AddCat_Command2_Click();

    // The program ends: both windows close without a question or a write.
    void closeAll();

    // Null while closed.
    Form2* form2() const { return m_form2; }
    ConfigWindow* config() const { return m_config; }
    // Null until first shown.
    AddCat* addCat() const { return m_addCat.get(); }

private:
    void closeForm2();
    void hideAddCat();

    ProfileFile& m_file;
    StationSettings& m_settings;
    std::function<void()> m_applySettings;
    FunctionKeys& m_keys;
    MessageBoxes& m_boxes;
    QWidget& m_mainWindow;
    VolumeSource m_volumes = MountedVolumes;
    CategoryList m_categoryList;

    QPointer<Form2> m_form2;
    QPointer<ConfigWindow> m_config;
    std::unique_ptr<AddCat> m_addCat;
};
