#include "app/app.h"
#include "app/commandline.h"
#include "app/quitsignals.h"
#include "audio/defaultoutput.h"
#include "audio/supervisedoutput.h"
#include "config/extrasettings.h"
#include "config/profilefile.h"
#include "ui/artwork.h"
#include "ui/qtmessageboxes.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // A write past the file-size limit (ulimit -f) fails with its reason and leaves the old
    // settings file in place, instead of killing the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);

    // The command line is read before the application opens the display, so --help and
    // --version work without one.
    QStringList arguments;
    QByteArrayList bytes;
    for (int i = 0; i < argc; ++i) {
        bytes << QByteArray(argv[i]);
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CommandLine commandLine = CommandLine::Parse(arguments, ProfileFile::DefaultPath());
    if (commandLine.run)
        commandLine.keepRawSettingsPath(bytes);
    if (commandLine.listDevices) {
        std::fputs(qPrintable(listOutputDevices()), stdout);
        return 0;
    }
    if (!commandLine.run) {
        std::fputs(qPrintable(commandLine.text), commandLine.exitCode == 0 ? stdout : stderr);
        return commandLine.exitCode;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Airloom"));
    QApplication::setApplicationVersion(QStringLiteral(AIRLOOM_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("airloom"));
    QApplication::setWindowIcon(artwork::windowIcon());

    std::fputs(qPrintable(commandLine.settingsNotes()), stderr);
    QtMessageBoxes boxes;
    // Without a sound card the carts still play, end and are timed, silently; the status line
    // says so in red (the output has said it on stderr too).
    const ExtraSettings extras = ExtraSettings::Read(ProfileFile(commandLine.settingsPath));
    QString settingErrors = extras.problems;
    const OutputChoice choice = commandLine.outputChoice(extras, &settingErrors);
    std::fputs(qPrintable(settingErrors), stderr);
    DefaultOutput output = openDefaultOutput(choice);
    AirloomApp airloom(commandLine.settingsPath, std::move(output.device), boxes);
    if (!output.warning.isEmpty())
        airloom.setOutputWarning(output.warning);
    if (output.supervised)
        airloom.watchOutput(*output.supervised);
    // Pre-listen is off unless the station names its output; one that does not open is said
    // on stderr and leaves it off.
    if (const QString preview = commandLine.previewDeviceChoice(extras); !preview.isEmpty()) {
        if (auto previewOutput = openPreviewOutput(preview, choice.periodFrames,
                                                   airloom.audio().sampleRate(), output.identity)) {
            SupervisedOutput* supervised = previewOutput.get();
            airloom.enablePreListen(std::move(previewOutput), supervised);
        }
    }
    // A shutdown or a logout ends the program as its exit does: the log records the cart
    // on air, and what is queued is written.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &airloom, [&airloom](int signal) {
        std::fprintf(stderr, "airloom: SIG%s received: quitting\n", sigabbrev_np(signal));
        airloom.Quit();
    });
    airloom.start();
    return QApplication::exec();
}
