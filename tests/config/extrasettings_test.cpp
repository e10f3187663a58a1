#include "config/extrasettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The options beyond the classic keys, as Vidav.ini gives them, and where their files go.
TEST(ExtraSettings, ReadsEachKeyWithItsDefault) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Vidav.ini");
    const auto read = [&](const QByteArray& text) {
        QFile file(ini);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        const ExtraSettings s = ExtraSettings::Read(ProfileFile(ini));
        return QString("%1 %2 %3")
            .arg(s.logEnabled ? "log" : "-")
            .arg(s.endWarningSeconds)
            .arg(s.loudnessTarget ? QString::number(*s.loudnessTarget) : "-")
            .toStdString();
    };
    EXPECT_EQ(read(""), "log 0 -");
    EXPECT_EQ(read("[log]\nEnabled=Off\n[global]\nEndWarning=10\n[audio]\nLoudnessTarget=-23\n"),
              "- 10 -23");
    EXPECT_EQ(read("[log]\nenabled=1\n[global]\nEndWarning=-5\n[audio]\nLoudnessTarget=loud\n"),
              "log 0 -");
    EXPECT_EQ(read("[log]\nEnabled=0\n[global]\nEndWarning=x\n[audio]\nLoudnessTarget=5\n"),
              "- 0 -");
    const ExtraSettings s = ExtraSettings::Read(ProfileFile(ini));
    EXPECT_EQ(s.logFolder, dir.filePath("log"));
    EXPECT_EQ(s.loudnessCacheFile, dir.filePath("dtb/loudness.db"));
}
