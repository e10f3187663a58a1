#include "app/app.h"
#include "app/commandline.h"
#include "audio/manualdevice.h"
#include "support/scriptedmessageboxes.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Command lines that do not start the program, and the start of what each prints: usage
// errors exit with 2, --help and --version with 0.
TEST(CommandLine, HelpVersionAndUsageErrors) {
    const std::pair<QStringList, QString> rows[] = {
        {{"--help"}, "Usage: airloom [options]\n"},
        {{"--version"}, "airloom " AIRLOOM_VERSION "\n"},
        {{"--bogus"}, "airloom: Unknown option 'bogus'.\nUsage: airloom [options]\n"},
        {{"--settings", "/tmp/"},
         "airloom: /tmp/ is a folder; --settings needs a file in it, "
         "such as /tmp/Vidav.ini."},
        {{"--", "Vidav.ini"}, "airloom: Unexpected argument 'Vidav.ini'."},
    };
    for (const auto& [options, printed] : rows) {
        const CommandLine line = CommandLine::Parse(QStringList{"/usr/bin/airloom"} + options, {});
        EXPECT_FALSE(line.run);
        EXPECT_EQ(line.exitCode, printed.startsWith("airloom:") ? 2 : 0) << printed.toStdString();
        EXPECT_TRUE(line.text.startsWith(printed)) << line.text.toStdString();
    }
}

// Another studio's settings file, named relative to the folder the program started in (which
// it may leave later): the settings and each write's temporary file land beside it only.
TEST(CommandLine, EveryFileTheProgramWritesGoesBesideTheSettingsFile) {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(dir.filePath("started in")) &&
                QDir().mkpath(dir.filePath("later/on")));
    QDir::setCurrent(dir.filePath("started in"));
    const CommandLine line = CommandLine::Parse({"airloom", "--settings", "../studio b/Vidav.ini"},
                                                dir.filePath("default/Vidav.ini"));
    QDir::setCurrent(dir.filePath("later/on"));
    {
        ScriptedMessageBoxes boxes;
        AirloomApp app(line.settingsPath, std::make_unique<ManualDevice>(), boxes);
        EXPECT_TRUE(app.settings().SaveDeckMode(3, 2) && app.settings().SaveDeckMode(3, 1));
        EXPECT_EQ(app.settings().DeckDefaultMode(3), "Seqnc");
    }
    QDir::setCurrent(before);
    const auto entries = [&](const QString& name) {
        return QDir(dir.filePath(name))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    EXPECT_EQ(entries("studio b"), QStringList{"Vidav.ini"});
    EXPECT_EQ(entries("."), (QStringList{"later", "started in", "studio b"}));
}
