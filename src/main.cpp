#include "audio/defaultoutput.h"
#include "config/profilefile.h"
#include "ui/app.h"
#include "ui/artwork.h"
#include "ui/qtmessageboxes.h"

#include <QApplication>
#include <csignal>

int main(int argc, char** argv) {
    // A write past the file-size limit (ulimit -f) fails with its reason and leaves the old
    // settings file in place, instead of killing the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Airloom"));
    QApplication::setApplicationVersion(QStringLiteral(AIRLOOM_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("airloom"));
    QApplication::setWindowIcon(artwork::windowIcon());

    QtMessageBoxes boxes;
    // Without a sound card the carts still play, end and are timed, silently; the operator
    // is told once (the output has said it on stderr too).
    DefaultOutput output = openDefaultOutput();
    if (!output.warning.isEmpty())
        boxes.MsgBox(output.warning, MessageBoxes::kOkExclamation, QStringLiteral("Airloom"));

    AirloomApp airloom(ProfileFile::DefaultPath(), std::move(output.device), boxes);
    airloom.start();
    return QApplication::exec();
}
