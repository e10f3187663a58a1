#include "app/commandline.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kVersionText[] =
    "airloom " AIRLOOM_VERSION "\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments, const QString& defaultSettingsPath) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Airloom, a broadcast cart machine: load carts from ten category folders "
                       "into\nten decks and fire them on air with F1 to F10."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Use FILE as the settings file instead of %1. Everything the program "
                       "writes goes in FILE's folder.")
            .arg(defaultSettingsPath),
        QStringLiteral("FILE"));
    const QCommandLineOption listDevices(
        QStringLiteral("list-devices"),
        QStringLiteral("List the audio output devices (host API, name, channels, default rate) "
                       "and exit."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Play through NAME, a device of --list-devices or a unique part of its "
                       "name, or \"default\" (instead of [audio] Device)."),
        QStringLiteral("NAME"));
    const QCommandLineOption period(
        QStringLiteral("period"),
        QStringLiteral("Frames per audio period, a power of two from %1 to %2 (instead of "
                       "[audio] Period; default %3).")
            .arg(OutputChoice::kMinPeriodFrames)
            .arg(OutputChoice::kMaxPeriodFrames)
            .arg(OutputChoice::kDefaultPeriodFrames),
        QStringLiteral("FRAMES"));
    const QCommandLineOption periods(
        QStringLiteral("periods"),
        QStringLiteral("Audio periods in the buffer, 2 to %1 (instead of [audio] Periods; "
                       "default: the fewest the device opens with).")
            .arg(OutputChoice::kMaxPeriods),
        QStringLiteral("N"));
    const QCommandLineOption previewDevice(
        QStringLiteral("preview-device"),
        QStringLiteral("Pre-listen to carts through NAME, named as for --device (instead of "
                       "[audio] PreviewDevice; default: no pre-listen)."),
        QStringLiteral("NAME"));
    parser.addOptions(
        {help, version, settings, listDevices, device, period, periods, previewDevice});

    const QString given = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
    const QString program = given.isEmpty() ? QStringLiteral("airloom") : given;
    // The parser names the program after the application object, which does not exist yet:
    // its usage line is written here.
    const QString helpText = parser.helpText();
    const QString usage = QStringLiteral("Usage: %1 [options]").arg(program) +
                          helpText.mid(helpText.indexOf(QLatin1Char('\n')));
    const auto exitWith = [](const QString& text, int exitCode) {
        CommandLine line;
        line.text = text;
        line.exitCode = exitCode;
        return line;
    };
    const auto usageError = [&](const QString& why) {
        return exitWith(QStringLiteral("%1: %2\n%3").arg(program, why, usage), kUsageError);
    };

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    if (parser.isSet(help))
        return exitWith(usage, 0);
    if (parser.isSet(version))
        return exitWith(QString::fromLatin1(kVersionText), 0);

    CommandLine line;
    line.run = !parser.isSet(listDevices);
    line.listDevices = !line.run;
    if (parser.isSet(device))
        line.device = parser.value(device);
    if (parser.isSet(previewDevice))
        line.previewDevice = parser.value(previewDevice);
    OutputChoice checked;
    if (parser.isSet(period)) {
        if (const QString why = checked.setPeriodFrames(parser.value(period)); !why.isEmpty())
            return usageError(QStringLiteral("--period: %1.").arg(why));
        line.period = parser.value(period);
    }
    if (parser.isSet(periods)) {
        if (const QString why = checked.setPeriods(parser.value(periods)); !why.isEmpty())
            return usageError(QStringLiteral("--periods: %1.").arg(why));
        line.periods = parser.value(periods);
    }

    line.settingsPath = defaultSettingsPath;
    if (!parser.isSet(settings))
        return line;
    const QString value = parser.value(settings);
    if (value.isEmpty())
        return usageError(QStringLiteral("--settings needs a file name."));
    const QFileInfo file(value);
    if (file.isDir() || file.fileName().isEmpty())
        return usageError(QStringLiteral("%1 is a folder; --settings needs a file in it, such as "
                                         "%2.")
                              .arg(value, QDir(value).filePath(QStringLiteral("Vidav.ini"))));
    // Absolute, so the file stays the same whatever folder the program later works in.
    line.settingsPath = file.absoluteFilePath();
    return line;
}

OutputChoice CommandLine::outputChoice(const ExtraSettings& file, QString* errors) const {
    OutputChoice choice;
    choice.device = device.value_or(file.outputDevice);
    const auto take = [&](const std::optional<QString>& given, const QString& inFile,
                          QString (OutputChoice::*set)(const QString&), const char* key) {
        if (given) {
            (choice.*set)(*given);
        } else if (!inFile.trimmed().isEmpty()) {
            if (const QString why = (choice.*set)(inFile); !why.isEmpty() && errors)
                *errors += QStringLiteral("[audio] %1 in the settings file: %2; using the "
                                          "default.\n")
                               .arg(QLatin1String(key), why);
        }
    };
    take(period, file.outputPeriod, &OutputChoice::setPeriodFrames, "Period");
    take(periods, file.outputPeriods, &OutputChoice::setPeriods, "Periods");
    return choice;
}

bool CommandLine::keepRawSettingsPath(const QByteArrayList& arguments) {
    static const QByteArray kOption = QByteArrayLiteral("--settings");
    std::optional<QByteArray> raw;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments[i];
        if (argument == "--")
            break;
        if (argument == kOption && i + 1 < arguments.size())
            raw = arguments[++i];
        else if (argument.startsWith(kOption + '='))
            raw = argument.mid(kOption.size() + 1);
    }
    if (!raw || QString::fromUtf8(*raw).toUtf8() == *raw)
        return true;
    const auto refuse = [this](const QString& why) {
        text = QStringLiteral("airloom: --settings: %1\n").arg(why);
        exitCode = kUsageError;
        run = false;
        return false;
    };
    QByteArray path = *raw;
    if (!path.startsWith('/')) {
        char* here = ::getcwd(nullptr, 0);
        path = QByteArray(here ? here : ".") + '/' + path;
        std::free(here);
    }
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = path.left(std::max<qsizetype>(slash, 1));
    const QByteArray name = path.mid(slash + 1);
    const QString shown = QString::fromUtf8(path);
    if (QString::fromUtf8(name).toUtf8() != name)
        return refuse(QStringLiteral("the file's own name in %1 is not UTF-8; its folder's may "
                                     "be anything.")
                          .arg(shown));
    // Text cannot name the folder to make it later: it is made now.
    for (qsizetype at = 1; at <= folder.size(); ++at) {
        if ((at == folder.size() || folder[at] == '/') &&
            ::mkdir(folder.left(at).constData(), 0777) != 0 && errno != EEXIST)
            return refuse(QStringLiteral("cannot make the folder %1: %2")
                              .arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // Held for the life of the program: every file beside the settings is reached through it.
    const int fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return refuse(QStringLiteral("cannot open the folder of %1: %2")
                          .arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
    settingsPath = QStringLiteral("/proc/self/fd/%1/%2").arg(fd).arg(QString::fromUtf8(name));
    return true;
}

QString CommandLine::settingsNotes() const {
    const QFileInfo file(settingsPath);
    if (!file.absoluteDir().exists())
        return QStringLiteral("airloom: the folder %1 of the settings file does not exist: the "
                              "program starts on its defaults and makes the folder when it "
                              "first saves a setting.\n")
            .arg(file.absolutePath());
    if (file.exists() && !file.isFile())
        return QStringLiteral("airloom: the settings file %1 is not a regular file: it is not "
                              "read, and saving a setting fails.\n")
            .arg(settingsPath);
    return {};
}
