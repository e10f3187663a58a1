// Fuzz target for the OSC server's reading of a datagram: any bytes give a command, nothing
// or a fault kind, and never a crash; a command never names a deck out of 1..10.
#include "remote/oscdispatch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const OscParse parse = ParseOscPacket(reinterpret_cast<const char*>(data), size);
    if (parse.command && parse.command->kind == OscCommand::Action) {
        const DeckAction action = parse.command->action;
        const bool deckAction = action.kind == DeckAction::Fire || action.kind == DeckAction::Empty;
        if (deckAction && (action.deck < 1 || action.deck > 10))
            std::abort();
    }
    if (parse.command && !parse.fault.isEmpty())
        std::abort();
    return 0;
}
