#pragma once

#include "audio/outputchoice.h"
#include "config/extrasettings.h"

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <optional>

// The program's command line, in the usual GNU form: --help, --version, --settings FILE,
// --list-devices, --device NAME, --period FRAMES, --periods N and --preview-device NAME. It is read
// before the application opens the display, so --help and --version work on a machine without one.
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
    // Print the output devices and exit (run is false).
    bool listDevices = false;
    // The output options given, already checked.
    std::optional<QString> device;
    std::optional<QString> period;
    std::optional<QString> periods;
    std::optional<QString> previewDevice;

    // The output to open: the station's [audio] keys, with the options given here winning.
    // A file value that cannot be used is named in *errors (a line each) and left at its
    // default.
    OutputChoice outputChoice(const ExtraSettings& file, QString* errors) const;
    // The pre-listen output: the option, else [audio] PreviewDevice; empty when off.
    QString previewDeviceChoice(const ExtraSettings& file) const {
        return previewDevice.value_or(file.previewDevice).trimmed();
    }

    // When the --settings value in arguments (the bytes the program was given) is not
    // UTF-8, which text cannot carry, settingsPath becomes a name of the same file that
    // text can: its folder, made when missing, is held open for the life of the program and
    // reached through /proc/self/fd. False, with text and exitCode set, when the folder
    // cannot be made or opened, or when the file's own name is not UTF-8.
    bool keepRawSettingsPath(const QByteArrayList& arguments);
    // What the operator should know about the settings file before the start, for stderr:
    // a missing folder (made at the first write), a file that is not a regular file.
    QString settingsNotes() const;

    // arguments: as the program was given them, its own name first. defaultSettingsPath:
    // the settings file when --settings is not given.
    static CommandLine Parse(const QStringList& arguments, const QString& defaultSettingsPath);
};
