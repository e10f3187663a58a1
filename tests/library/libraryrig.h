#pragma once

#include "audio/audioengine.h"
#include "audio/fixtures.h"
#include "audio/manualdevice.h"
#include "common/eventpump.h"
#include "config/profilefile.h"
#include "config/settings.h"
#include "decks/deckengine.h"
#include "decks/mcidevice.h"
#include "library/cartlibrary.h"
#include "library/cartlist.h"
#include "library/categorytabs.h"
#include "shell/functionkeys.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// The cart library and the key map wired as on the main window, over a
// real deck engine on the manual audio device. Cart folders and Vidav.ini live in a
// temporary folder; message boxes are answered from a script.
struct LibraryRig {
    LibraryRig() { EXPECT_TRUE(rigDir.isValid()); }

    // A folder under the temporary one holding one-second WAV carts; returns its path.
    QString makeFolder(const QString& name, const QStringList& carts) {
        const QString folder = rigDir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
        for (const QString& cart : carts)
            addCart(folder, cart);
        return folder;
    }
    void addCart(const QString& folder, const QString& name) {
        EXPECT_FALSE(Fixtures::wav(folder, name, 1000).isEmpty()) << name.toStdString();
    }
    // Selects the name in the list, as a click on it would.
    void selectCart(const QString& name) {
        list.setListIndex(int(list.names().indexOf(name)));
        ASSERT_EQ(list.FileName(), name);
    }
    // Selects the name and loads it into the deck with Ctrl and the deck's key.
    void loadDeck(int deck, const QString& name) {
        selectCart(name);
        keys.HandleFunctionKey(VirtualKey::kF1 + deck - 1, VirtualKey::kCtrl);
        ASSERT_EQ(decks.FilePath(deck), JoinCartPath(list.Path(), name));
        audio.waitForBackgroundWork();
    }

    struct QuietPump : EventPump {
        void processPendingEvents() override {}
    };

    QTemporaryDir rigDir;
    AudioEngine audio{std::make_unique<ManualDevice>()};
    MciDevice player{audio};
    MciDevice preview{audio};
    QuietPump pump;
    CartList list;
    CategoryTabs tabs;
    ProfileFile settings{rigDir.filePath(QStringLiteral("Vidav.ini"))};
    StationSettings station{settings};
    DeckEngine decks{player, preview, list, pump};
    ScriptedMessageBoxes boxes;
    CartLibrary library{list, tabs, station, decks, boxes};
    FunctionKeys keys{decks, list};
};
