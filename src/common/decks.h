#pragma once

#include <QString>

// The cart decks, numbered 1..kDeckCount.
inline constexpr int kDeckCount = 10;

// The three play modes, as a deck's mode box shows them and the settings file stores them.
namespace DeckMode {
inline const QString kNorm = QStringLiteral("Norm");
inline const QString kSeqnc = QStringLiteral("Seqnc");
inline const QString kLoop = QStringLiteral("Loop");
} // namespace DeckMode
