#include "ui/artwork.h"
#include "ui/title.h"

#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(LayoutTitle, FramelessWindowWithLogoAndVersion) {
    Title title;
    EXPECT_EQ(title.objectName(), "Title");
    EXPECT_TRUE(title.windowFlags() & Qt::FramelessWindowHint);
    // The client area (6195 x 3060 twips) inside a one-pixel border.
    EXPECT_EQ(title.size(), QSize(413 + 2, 204 + 2));
    EXPECT_EQ(title.minimumSize(), title.maximumSize());

    EXPECT_EQ(title.Picture2()->objectName(), "Picture2");
    EXPECT_EQ(title.Picture2()->geometry(), QRect(160 + 1, 8 + 1, 70, 28));
    EXPECT_EQ(title.Picture2()->pixmap().deviceIndependentSize(), QSizeF(70, 28));

    EXPECT_EQ(title.Label1()->objectName(), "Label1");
    EXPECT_EQ(title.Label1()->geometry(), QRect(152 + 1, 40 + 1, 89, 17));
    EXPECT_EQ(title.Label1()->text(), "version 2.6.7");
    EXPECT_EQ(title.Label1()->alignment(), Qt::AlignCenter);
    const QFont font = title.Label1()->font();
    EXPECT_EQ(font.family(), "Liberation Serif");
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 6.75);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic());

    const QPoint screenCentre = title.screen()->availableGeometry().center();
    EXPECT_LE((title.geometry().center() - screenCentre).manhattanLength(), 2);
}

// Every paint is announced, and the border is drawn around the client area.
TEST(LayoutTitle, AnnouncesEachPaint) {
    Title title;
    QSignalSpy painted(&title, &Title::painted);
    const QImage first = title.grab().toImage();
    EXPECT_EQ(painted.count(), 1);
    title.grab();
    EXPECT_EQ(painted.count(), 2);

    const QColor border = title.palette().color(QPalette::WindowText);
    EXPECT_EQ(first.pixelColor(0, 0), border);
    EXPECT_EQ(first.pixelColor(first.width() - 1, first.height() - 1), border);
    EXPECT_NE(first.pixelColor(1, 100), border);
}

namespace {

int countPixels(const QImage& image, bool (*match)(QColor)) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

} // namespace

// The pictures come out of the resources (which a static library can lose at link time)
// and are drawn, not blank.
TEST(LayoutArtwork, IconsAndLogoRender) {
    const QIcon icons[] = {artwork::windowIcon(), artwork::filingCabinet(), artwork::wrench(),
                           artwork::wasteBin(),   artwork::aboutBubble(),   artwork::helpBubble(),
                           artwork::exitDoor()};
    for (const QIcon& icon : icons) {
        const QImage image = icon.pixmap(artwork::kIconSize).toImage();
        ASSERT_EQ(image.size(), artwork::kIconSize);
        const int opaque = countPixels(image, [](QColor c) { return c.alpha() == 255; });
        EXPECT_GT(opaque, 32 * 32 / 8);
        EXPECT_LT(opaque, 32 * 32);
    }

    const QImage arrow = artwork::dragArrow().toImage();
    EXPECT_EQ(arrow.size(), QSize(32, 32));
    EXPECT_GT(countPixels(arrow, [](QColor c) { return c.alpha() == 255; }), 50);

    // Large yellow and smaller purple letters on an opaque grey ground.
    const QImage logo = artwork::logo().toImage();
    ASSERT_EQ(logo.size(), QSize(70, 28));
    EXPECT_EQ(countPixels(logo, [](QColor c) { return c.alpha() < 255; }), 0);
    const int yellow = countPixels(
        logo, [](QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() < 80; });
    const int purple =
        countPixels(logo, [](QColor c) { return c.red() > 90 && c.blue() > 90 && c.green() < 60; });
    EXPECT_GT(yellow, 40);
    EXPECT_GT(purple, 20);
    EXPECT_GT(yellow, purple);

    const QImage sharp = artwork::logo(2.0).toImage();
    EXPECT_EQ(sharp.size(), QSize(140, 56));
}
