#include "audio/defaultoutput.h"
#include "config/profilefile.h"
#include "ui/app.h"
#include "ui/artwork.h"
#include "ui/qtmessageboxes.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Airloom"));
    QApplication::setApplicationVersion(QStringLiteral(AIRLOOM_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("airloom"));
    QApplication::setWindowIcon(artwork::windowIcon());

    QtMessageBoxes boxes;
    // Without a sound card the carts still play, end and are timed, silently; the operator
    // is told once, when the main window has appeared (the output has said it on stderr too).
    DefaultOutput output = openDefaultOutput();
    AirloomApp airloom(ProfileFile::DefaultPath(), std::move(output.device), boxes);
    airloom.setStartupWarning(output.warning);
    airloom.start();
    return QApplication::exec();
}
