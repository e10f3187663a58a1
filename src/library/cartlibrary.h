#pragma once

class CartList;
class CategoryTabs;
class DeckEngine;
class MessageBoxes;
class StationSettings;

// The behaviour of the cart library on the main window: the settings fill the category
// tabs, the list and the call letters; choosing a category tab points the cart list at
// that category's folder, read from the settings file each time; the list is read again
// on request; and a file dropped on the trash is deleted after the operator confirms. Owns
// no state of its own: the list, the tabs, the settings and the deck table belong to their
// owners. UI thread only; reads and deletes on the disk.
class CartLibrary {
public:
    CartLibrary(CartList& list, CategoryTabs& tabs, StationSettings& settings,
                const DeckEngine& decks, MessageBoxes& boxes);

    // Reads the ten category names and rebuilds the tabs from them (tab 1 selected), points
    // the list at category 1's folder and shows the call letters. When that folder cannot
    // be listed it tells the operator and stops there: the tabs and names stay, the call
    // letters are not shown. At start-up and when the configuration window closes.
    void LoadSettings();

    // A tab of TabStrip1 has been chosen (it is already the selected one): the list moves
    // to its category's folder, read whole as at start-up ("/" when the section has no
    // "Path"). A folder that cannot be listed is reported and leaves the list as it was;
    // the tab stays selected.
    void Form1_TabStrip1_Click();

    // Reads the list's folder again (the refresh button, after a deletion). A folder that
    // has gone is reported like a bad category folder and the list is left as it was.
    // Returns whether the list was read.
    bool RefreshCartList();

    // Deletes the file selected in the list, unless a deck holds it or the operator says
    // No. Nothing happens without a selection. A failed deletion is reported with the
    // file and the reason, and the list is left as it was. A symbolic link is deleted as
    // the link; its target stays.
    void DeleteCart();

private:
    CartList& m_list;
    CategoryTabs& m_tabs;
    StationSettings& m_settings;
    const DeckEngine& m_decks;
    MessageBoxes& m_boxes;
};
