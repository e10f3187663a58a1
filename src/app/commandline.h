#pragma once

#include <QString>
#include <QStringList>

// The program's command line, in the usual GNU form: --help, --version and --settings FILE.
// It is read before the application opens the display, so --help and --version work on a
// machine without one.
struct CommandLine {
    // The exit status of a command line that cannot be understood.
    static constexpr int kUsageError = 2;

    // Start the program over settingsPath; otherwise print text (to standard output when
    // exitCode is 0, else to standard error) and exit with exitCode.
    bool run = false;
    // The settings file, absolute: everything the program writes goes in its folder.
    QString settingsPath;
    QString text;
    int exitCode = 0;

    // arguments: as the program was given them, its own name first. defaultSettingsPath:
    // the settings file when --settings is not given.
    static CommandLine Parse(const QStringList& arguments, const QString& defaultSettingsPath);
};
