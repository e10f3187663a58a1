#pragma once

#include "audio/audioengine.h"
#include "audio/manualdevice.h"
#include "config/profilefile.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "library/cartlibrary.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/buttonrow.h"
#include "shell/eventpump.h"
#include "shell/functionkeys.h"
#include "support/scriptedmessageboxes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The cart library, the key map and the button row wired as on the main window, over a
// real deck engine on the manual audio device. Cart folders and Vidav.ini live in a
// temporary folder; message boxes are answered from a script.
class LibraryRig : public ::testing::Test {
protected:
    LibraryRig();
    void SetUp() override;

    // A folder under the temporary one holding one-second WAV carts; returns its path.
    QString makeFolder(const QString& name, const QStringList& carts);
    void addCart(const QString& folder, const QString& name);
    void writeSettings(const QByteArray& text);

    // Selects the name in the list, as a click on it would.
    void selectCart(const QString& name);
    // Selects the name and loads it into the deck (Ctrl with the deck's key).
    void loadDeck(int deck, const QString& name);
    // Fires the deck and checks that it plays.
    void startDeck(int deck);
    // Lets a few audio periods go by.
    void settle();

    class QuietPump : public EventPump {
    public:
        void processPendingEvents() override {}
    };

    QTemporaryDir rigDir;
    ManualDevice* device; // owned by the audio engine
    AudioEngine audio;
    MciDevice player;
    MciDevice preview;
    QuietPump pump;
    CartList list;
    CategoryTabs tabs;
    ProfileFile settings;
    DeckEngine decks;
    ScriptedMessageBoxes boxes;
    CartLibrary library;
    FunctionKeys keys;
    ButtonRow row;
};
