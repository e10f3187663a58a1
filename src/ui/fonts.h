#pragma once

#include <QFont>
#include <QString>

// The faces the windows were designed with are not on Linux; these stand in for them.
inline constexpr char kSansFace[] = "DejaVu Sans";       // MS Sans Serif, Trebuchet MS
inline constexpr char kSerifFace[] = "Liberation Serif"; // Times New Roman, MS Serif
inline constexpr char kHandFace[] = "Comic Neue";        // Comic Sans MS

inline QFont designFont(const char* face, qreal points, bool bold = false, bool italic = false) {
    QFont font(QString::fromLatin1(face));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
