#include "app/commandline.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

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
    parser.addOptions({help, version, settings});

    const QString given = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
    const QString program = given.isEmpty() ? QStringLiteral("airloom") : given;
    // The parser names the program after the application object, which does not exist yet:
    // its usage line is written here.
    const QString helpText = parser.helpText();
    const QString usage = QStringLiteral("Usage: %1 [options]").arg(program) +
                          helpText.mid(helpText.indexOf(QLatin1Char('\n')));
    const auto usageError = [&](const QString& why) {
        return CommandLine{
            false, {}, QStringLiteral("%1: %2\n%3").arg(program, why, usage), kUsageError};
    };

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    if (parser.isSet(help))
        return {false, {}, usage, 0};
    if (parser.isSet(version))
        return {false, {}, QString::fromLatin1(kVersionText), 0};

    if (!parser.isSet(settings))
        return {true, defaultSettingsPath, {}, 0};
    const QString value = parser.value(settings);
    if (value.isEmpty())
        return usageError(QStringLiteral("--settings needs a file name."));
    const QFileInfo file(value);
    if (file.isDir() || file.fileName().isEmpty())
        return usageError(QStringLiteral("%1 is a folder; --settings needs a file in it, such as "
                                         "%2.")
                              .arg(value, QDir(value).filePath(QStringLiteral("Vidav.ini"))));
    // Absolute, so the file stays the same whatever folder the program later works in.
    return {true, file.absoluteFilePath(), {}, 0};
}
