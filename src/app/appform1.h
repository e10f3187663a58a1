#pragma once

#include <QObject>
#include <QPoint>
#include <QStringListModel>

class ButtonRow;
class CartLibrary;
class CartList;
class CategoryTabs;
class DeckEngine;
class Form1;
class FunctionKeys;
class StationSettings;
class StatusLine;

// Binds the main window to the objects behind it. The window renders the deck rows, the
// meter, Label2, the status line, the call letters, the category tabs and the cart list
// from their owners' signals, and forwards its clicks, keys and drops to the handlers that own
// them. No decision is taken here: every rule lives in the deck engine, the library, the key map,
// the button row and the settings. The exit button and the windows that the other
// buttons open belong to the application.
//
// UI thread only.
class Form1Binding : public QObject {
    Q_OBJECT
public:
    Form1Binding(Form1& form, DeckEngine& decks, CartList& list, CategoryTabs& tabs,
                 StationSettings& settings, CartLibrary& library, FunctionKeys& keys,
                 ButtonRow& buttons, StatusLine& status, QObject* parent = nullptr);
    ~Form1Binding() override;

private:
    void renderStatusLine();
    void renderDeck(int deck);
    void renderTabs();
    void renderSelectedTab();
    void renderList();
    void renderListIndex();
    void renderMeter(float value);

    void bindDecks();
    void bindLibrary();
    void bindButtons();
    void bindKeys();
    void bindDrags();
    void dragFromDeck(int deck, QPoint pressPos);
    void dragFromList();

    Form1& m_form;
    DeckEngine& m_decks;
    CartList& m_list;
    CategoryTabs& m_tabs;
    StationSettings& m_settings;
    CartLibrary& m_library;
    FunctionKeys& m_keys;
    ButtonRow& m_buttons;
    StatusLine& m_status;

    QStringListModel m_fileModel;
    // Set while the window is being brought in line with the list or the tabs, so the
    // widgets' own change signals are not taken for the operator's.
    bool m_rendering = false;
};
