#pragma once

#include "remote/deckaction.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>

// One OSC message that the remote control obeys:
//   /airloom/deck/N/fire, /airloom/deck/N/empty, /airloom/stop   the keys' actions; no
//        argument, or one number or boolean (a button's press; 0 or false, its release, does
//        nothing)
//   /airloom/deck/N/load ,is   category 1..10 and the name of a file its folder lists
//   /airloom/status              the deck table is sent back to the sender
//   /airloom/subscribe [,i]      state changes are sent to the sender (or to the port given,
//                                on the sender's host) as they happen
//   /airloom/unsubscribe [,i]
struct OscCommand {
    enum Kind { Action, LoadFile, Status, Subscribe, Unsubscribe };
    Kind kind = Action;
    DeckAction action; // Action; LoadFile's deck
    int category = 0;  // LoadFile
    QString fileName;  // LoadFile, as sent (checked against the folder later)
    int replyPort = 0; // Subscribe, Unsubscribe: 0 for the sender's own port
};

// What a packet asks for: a command, nothing (a release), or the kind of fault that makes it
// ignored ("malformed packet", "bundle", "unknown address", "wrong argument types").
struct OscParse {
    std::optional<OscCommand> command;
    QString fault;
};

// Reads one UDP datagram. Any bytes at all are safe. Pure; any thread.
OscParse ParseOscPacket(const char* data, std::size_t size);

// The largest datagram read; a longer one is ignored as oversize.
inline constexpr std::size_t kMaxOscPacket = 4096;
