#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The pictures drawn for Airloom, stored as SVG in the resources and rendered at the size
// each control shows them, sharp on high-density screens too; and the help document.
namespace artwork {

inline constexpr QSize kIconSize{32, 32};
inline constexpr QSize kLogoSize{70, 28};

QIcon windowIcon();    // a player unit with a tape cartridge
QIcon filingCabinet(); // refresh the cart list
QIcon wrench();        // configuration
QIcon wasteBin();      // clear decks, delete files
QIcon aboutBubble();   // speech bubble with the letter i
QIcon helpBubble();    // speech bubble with a question mark
QIcon exitDoor();      // door with an arrow
QIcon eye();           // the About window
QIcon printer();       // a sheet coming out of a printer: the Add Category dialog
QIcon upTriangle();    // move up
QIcon downTriangle();  // move down

// The product logo, 70 x 28 logical pixels, for a screen of the given pixel ratio.
QPixmap logo(qreal devicePixelRatio = 1.0);
// The pointer picture while a cart is dragged out of the list, 32 x 32.
QPixmap dragArrow(qreal devicePixelRatio = 1.0);

// The help document as stored with the program, HTML.
QString helpDocument();

} // namespace artwork
