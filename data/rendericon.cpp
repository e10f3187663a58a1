// Renders the program's SVG icon as the PNG files of the desktop's icon theme:
//   airloom-rendericon ICON.svg OUTPUT-FOLDER SIZE...
// writes OUTPUT-FOLDER/<size>x<size>/apps/<icon name>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: airloom-rendericon ICON.svg OUTPUT-FOLDER SIZE...\n", stderr);
        return 2;
    }
    const QString svg = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "airloom-rendericon: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "airloom-rendericon: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString png =
            folder + QLatin1Char('/') + QFileInfo(svg).completeBaseName() + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !image.save(png, "PNG")) {
            std::fprintf(stderr, "airloom-rendericon: cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    return 0;
}
