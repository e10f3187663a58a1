#pragma once

#include <QRect>
#include <QSize>

// Window layouts are drawn up in twips; at 96 dots per inch 15 twips make one pixel, and
// Qt scales the pixels for high-density screens.
inline constexpr int kTwipsPerPixel = 15;

inline constexpr int twipsToPixels(int twips) {
    return twips / kTwipsPerPixel;
}

inline constexpr QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

inline constexpr QSize twipsSize(int width, int height) {
    return {twipsToPixels(width), twipsToPixels(height)};
}
