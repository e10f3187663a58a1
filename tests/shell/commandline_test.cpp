#include "app/commandline.h"
#include "config/profilefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// Command lines that do not start the program, and the start of what each prints: usage
// errors exit with 2, --help and --version with 0.
TEST(CommandLine, HelpVersionAndUsageErrors) {
    const std::pair<QStringList, QString> rows[] = {
        {{"--help"}, "Usage: airloom [options]\n"},
        {{"--bogus"}, "airloom: Unknown option 'bogus'.\nUsage: airloom [options]\n"},
        {{"--settings", "/tmp/"}, "airloom: /tmp/ is a folder; --settings needs a file in it"},
        {{"--", "Vidav.ini"}, "airloom: Unexpected argument 'Vidav.ini'."},
        {{"--period", "300"}, "airloom: --period: the period must be a power of two from 32"},
        {{"--period=16384"}, "airloom: --period: the period must be a power of two"},
        {{"--periods", "1"}, "airloom: --periods: the number of periods must be from 2 to 16"},
    };
    for (const auto& [options, printed] : rows) {
        const CommandLine line = CommandLine::Parse(QStringList{"/usr/bin/airloom"} + options, {});
        EXPECT_FALSE(line.run);
        EXPECT_EQ(line.exitCode, printed.startsWith("airloom:") ? 2 : 0) << printed.toStdString();
        EXPECT_TRUE(line.text.startsWith(printed)) << line.text.toStdString();
    }
}

// A relative --settings is made absolute at the start: the settings and the files written
// beside them stay in that folder when the program later changes its working folder.
TEST(CommandLine, ARelativeSettingsFileIsFixedAtTheStart) {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("started in")));
    QDir::setCurrent(dir.filePath("started in"));
    const CommandLine line = CommandLine::Parse({"airloom", "--settings", "../studio b/Vidav.ini"},
                                                dir.filePath("default/Vidav.ini"));
    QDir::setCurrent(before);
    EXPECT_EQ(QDir::cleanPath(line.settingsPath), dir.filePath("studio b/Vidav.ini"));
}

// The command line wins over [audio] in the settings file; a figure in the file that cannot
// be used is named and left at its default.
TEST(CommandLine, OutputOptionsWinOverTheSettingsFile) {
    ExtraSettings file;
    file.outputDevice = "USB";
    file.outputPeriod = "128";
    file.outputPeriods = "3";
    QString errors;
    OutputChoice choice = CommandLine::Parse({"airloom"}, {}).outputChoice(file, &errors);
    EXPECT_EQ(std::tuple(choice.device, choice.periodFrames, choice.periods, errors),
              std::tuple(QString("USB"), 128, 3, QString()));

    const CommandLine line =
        CommandLine::Parse({"airloom", "--device", "system", "--period", "512"}, {});
    choice = line.outputChoice(file, &errors);
    EXPECT_EQ(std::tuple(choice.device, choice.periodFrames, choice.periods, errors),
              std::tuple(QString("system"), 512, 3, QString()));

    file.outputPeriod = "200";
    file.outputPeriods = "lots";
    choice = CommandLine::Parse({"airloom", "--periods", "4"}, {}).outputChoice(file, &errors);
    EXPECT_EQ(std::tuple(choice.periodFrames, choice.periods), std::tuple(256, 4));
    EXPECT_TRUE(errors.startsWith("[audio] Period in the settings file:") &&
                errors.endsWith("not '200'; using the default.\n"));
    EXPECT_TRUE(CommandLine::Parse({"airloom", "--list-devices"}, {}).listDevices);
}

// A device is found by its name, a unique part of it or of its host API; anything else is
// the default output, with an error naming the devices there are.
TEST(OutputChoice, DeviceNamesAndTheirFallback) {
    const std::vector<OutputDeviceInfo> devices = {
        {"ALSA", "HDA Intel PCH: ALC892 Analog (hw:0,0)", 8, 44100},
        {"ALSA", "USB Audio CODEC: Audio (hw:1,0)", 2, 48000},
        {"ALSA", "default", 32, 44100, true},
        {"ALSA", "jack", 2, 48000},
        {"JACK Audio Connection Kit", "Dummy", 2, 48000},
        {"JACK Audio Connection Kit", "Null Sink", 2, 48000, true},
    };
    // "jack" is the JACK host's default output, not ALSA's plug-in of that name.
    const std::pair<QString, int> found[] = {
        {"", -1}, {"Default", -1}, {"usb", 1}, {"ALC892", 0}, {"null sink", 5}, {"JACK", 5},
    };
    for (const auto& [wanted, index] : found) {
        const DeviceMatch match = matchOutputDevice(devices, wanted);
        EXPECT_EQ(std::pair(match.index, match.error), std::pair(index, QString()))
            << wanted.toStdString();
    }
    const DeviceMatch unknown = matchOutputDevice(devices, "Focusrite");
    EXPECT_EQ(unknown.index, -1);
    EXPECT_TRUE(unknown.error.startsWith(
        "No audio output device matches 'Focusrite'. The output devices are:\n"
        "ALSA:\n  HDA Intel PCH: ALC892 Analog (hw:0,0), 8 channels, 44100 Hz\n"));
    EXPECT_TRUE(unknown.error.endsWith("  jack, 2 channels, 48000 Hz\nJACK Audio Connection Kit:\n"
                                       "  Dummy, 2 channels, 48000 Hz\n"
                                       "  Null Sink, 2 channels, 48000 Hz (default)\n"));
    EXPECT_TRUE(matchOutputDevice({devices.begin(), devices.begin() + 4}, "jack")
                    .error.startsWith("No JACK server answers"));
    EXPECT_TRUE(
        matchOutputDevice(devices, "hw:")
            .error.startsWith(
                "'hw:' names more than one audio output device. The output devices are:\n"));
    // A pre-listen output is refused when it is the one on air: on JACK, the client played into.
    const QString onAir = outputIdentity("Dummy", "JACK");
    EXPECT_EQ(outputIdentity(devices[4].name, devices[4].hostApi), onAir);
    EXPECT_NE(outputIdentity(devices[5].name, devices[5].hostApi), onAir);
    EXPECT_NE(outputIdentity("Dummy", "ALSA"), onAir);
}

// The buffer covers the quantum a user set for PipeWire, by a longer period; a device that
// stalls at once after every open is enlarged once, and an output lost now and then never.
TEST(OutputChoice, TheBufferCoversTheServersQuantum) {
    const auto period = [](int frames, int periods, int quantum) {
        OutputChoice choice;
        choice.periodFrames = frames;
        choice.periods = periods;
        return coverQuantum(choice, quantum).periodFrames;
    };
    EXPECT_EQ(period(256, 0, 0), 256);
    EXPECT_EQ(period(256, 0, 512), 256);
    EXPECT_EQ(period(256, 0, 1024), 1024);
    EXPECT_EQ(period(256, 4, 1024), 256);
    EXPECT_EQ(period(128, 0, 1000), 1024);
    EXPECT_EQ(userQuantumFrames("1024/48000", 48000), 1024);
    EXPECT_EQ(userQuantumFrames("512/24000", 48000), 1024);
    EXPECT_EQ(userQuantumFrames("2048", 48000), 2048);
    for (const char* unusable : {"", "fast", "0/48000", "1024/0", "1024/x"})
        EXPECT_EQ(userQuantumFrames(unusable, 48000), 0) << unusable;

    QuickLossGuard guard;
    guard.opened(0);
    EXPECT_FALSE(guard.attempt(60000)); // lost after a minute of sound
    guard.opened(60000);
    EXPECT_FALSE(guard.attempt(62500));
    guard.opened(62500);
    EXPECT_TRUE(guard.attempt(65500)); // the second quick loss in a row
    guard.opened(65500);
    EXPECT_FALSE(guard.attempt(66000));
    EXPECT_FALSE(guard.attempt(66100)); // a failed attempt opened nothing
    guard.opened(66100);
    EXPECT_FALSE(guard.attempt(67000)); // once only
}

// A settings folder whose name is not UTF-8 (a valid Linux name that text cannot carry)
// still holds the settings and everything written beside them; a missing folder is named,
// and a missing one that text cannot name is made at the start.
TEST(CommandLine, ASettingsFolderNamedInAnyBytesWorks) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/caf\xe9/studio";
    CommandLine line = CommandLine::Parse({"airloom", "--settings", "x"}, {});
    ASSERT_TRUE(line.keepRawSettingsPath({"airloom", "--settings=" + folder + "/Vidav.ini"}));
    EXPECT_TRUE(line.settingsPath.startsWith("/proc/self/fd/"));
    EXPECT_EQ(line.settingsNotes(), "");
    ProfileFile settings(line.settingsPath);
    ASSERT_TRUE(settings.Write("global", "callsign", "kair").ok);
    EXPECT_EQ(settings.Read("global", "callsign", "", 80), "kair");
    struct stat written {};
    EXPECT_EQ(::stat(folder + "/Vidav.ini", &written), 0);

    EXPECT_FALSE(line.keepRawSettingsPath({"airloom", "--settings", folder + "/V\xe9.ini"}));
    EXPECT_EQ(line.exitCode, CommandLine::kUsageError);
    // QTemporaryDir cannot name them either.
    ::unlink(folder + "/Vidav.ini");
    ::rmdir(folder);
    ::rmdir(QFile::encodeName(dir.path()) + "/caf\xe9");
    line = CommandLine::Parse({"airloom", "--settings", dir.filePath("gone/Vidav.ini")}, {});
    EXPECT_TRUE(line.keepRawSettingsPath({"airloom", "--settings", "plain/Vidav.ini"}));
    EXPECT_TRUE(line.settingsNotes().startsWith("airloom: the folder " + dir.filePath("gone") +
                                                " of the settings file does not exist"));
}
