#include "deckrig.h"
#include "decks/asrunlog.h"

#include <QFile>
#include <QSignalSpy>
#include <cerrno>
#include <future>
#include <unistd.h>

// The as-run log over the deck engine on the manual device. Its clock gives 14:05:09.042
// (UTC+1) and one second more at each play's start.
class AsRunLogTest : public DeckRig {
public:
    QString logFolder = folder() + "/settings/log";
    int starts = 0;
    std::unique_ptr<AsRunLog> log = std::make_unique<AsRunLog>(engine, player, logFolder, [this] {
        const QDateTime base(QDate(2026, 3, 1), QTime(14, 5, 9, 42), Qt::OffsetFromUTC, 3600);
        return base.addSecs(starts++);
    });

    AsRunLogTest() { engine.setPlayObserver(log.get()); }
    // The lines written so far after the header, with the start's date and hour cut off.
    QStringList lines() {
        if (log)
            log->flush();
        QStringList all =
            QString::fromUtf8(Fixtures::bytes(logFolder + "/2026-03-01.csv")).split("\r\n");
        EXPECT_EQ(all.takeFirst(), "start,deck,cart,path,length_ms,played_ms,ended");
        EXPECT_EQ(all.takeLast(), "");
        for (QString& line : all)
            line = line.mid(14).replace(folder() + '/', "");
        return all;
    }
};

TEST_F(AsRunLogTest, OneLinePerPlayWithHowItEnded) {
    put(1, "Bed.wav", 205);
    put(2, "Spot.wav", 305);
    put(3, "Mix, \"Live\".wav", 1000);
    put(4, "ID.wav", 500);
    put(5, "Gone.wav", 500);
    step("fire 2, tick 10, stop, fire 2, tick 40, fire 2, tick 5"); // stopped, end
    step("mode 3 Seqnc, fire 3, tick 105, stop");                   // a cut, then a sequence 3 -> 4
    step("mode 1 Loop, fire 1, tick 64, fire 1");                   // three loop passes
    step("fire 5, tick 2, clear 5, tick 60");                       // emptied while it played
    step("fire 4, tick 7");
    engine.setPlayObserver(nullptr);
    log.reset(); // the exit: the playing cart is logged as stopped
    EXPECT_EQ(lines().join('\n').toStdString(),
              "05:09.042+01:00,2,Spot,Spot.wav,305,100,stopped\n"
              "05:10.042+01:00,2,Spot,Spot.wav,305,305,end\n"
              "05:11.042+01:00,2,Spot,Spot.wav,305,50,cut\n"
              "05:12.042+01:00,3,\"Mix, \"\"Live\"\"\",\"Mix, \"\"Live\"\".wav\",1000,1000,end\n"
              "05:13.042+01:00,4,ID,ID.wav,500,50,stopped\n"
              "05:14.042+01:00,1,Bed,Bed.wav,205,205,end\n"
              "05:15.042+01:00,1,Bed,Bed.wav,205,205,end\n"
              "05:16.042+01:00,1,Bed,Bed.wav,205,205,end\n"
              "05:17.042+01:00,1,Bed,Bed.wav,205,25,stopped\n"
              "05:18.042+01:00,5,Gone,Gone.wav,500,500,emptied\n"
              "05:19.042+01:00,4,ID,ID.wav,500,70,stopped");
}

// A log folder that cannot be made is reported once while the decks play on; once it can,
// every line held back is written in order.
TEST_F(AsRunLogTest, AFailingFolderIsReportedOnceAndNothingIsLost) {
    QDir().mkpath(folder() + "/settings");
    ASSERT_FALSE(Fixtures::file(folder(), "settings/log", "").isEmpty()); // a file, not a folder
    QSignalSpy failed(log.get(), &AsRunLog::writeFailed);
    put(1, "A.wav", 100);
    put(2, "B.wav", 100);
    for (int pass = 0; pass < 3; ++pass)
        step("fire 1, tick 12, fire 2, tick 5");
    log->flush();
    QCoreApplication::processEvents();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed[0][0].toString(), "As-run log not written: cannot write " + logFolder +
                                           "/2026-03-01.csv: Not a directory");
    EXPECT_TRUE(playing());

    QFile::remove(logFolder);
    step("tick 20, fire 1, tick 12");
    EXPECT_EQ(lines().join(' ').remove(".042+01:00").remove(",100,100,end").toStdString(),
              "05:09,1,A,A.wav 05:10,2,B,B.wav,100,50,cut 05:11,1,A,A.wav 05:12,2,B,B.wav,100,50,"
              "cut 05:13,1,A,A.wav 05:14,2,B,B.wav 05:15,1,A,A.wav");
}

// A disk that fills up: a write stops at the space left, and the next one fails as a full
// disk does.
TEST(LogWriterTest, AFullDiskLeavesWholeLinesAndTheSystemsReason) {
    QTemporaryDir dir;
    std::atomic<qint64> spaceLeft = 30;
    const textfile::WriteFunction disk = [&](int fd, const char* bytes, std::size_t count) {
        const auto room = std::size_t(std::max<qint64>(spaceLeft, 0));
        if (room == 0) {
            errno = ENOSPC;
            return ssize_t(-1);
        }
        const ssize_t written = ::write(fd, bytes, std::min(count, room));
        spaceLeft -= written;
        return written;
    };
    QStringList changes; // written by the writer thread, read after flush()
    auto writer = std::make_unique<LogWriter>(
        dir.path(), "head", [&](const QString& error) { changes << error; }, disk);
    const QString day = dir.filePath("day.csv");

    writer->append("day.csv", "line one");
    writer->flush();
    writer->append("day.csv", "line two, cut by the full disk");
    writer->flush();
    EXPECT_EQ(Fixtures::bytes(day), "head\r\nline one\r\n");
    writer->append("day.csv", "line three");
    writer->flush();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0], "cannot write " + day + ": No space left on device");

    spaceLeft = 1000;
    writer->append("day.csv", "line four");
    writer->flush();
    EXPECT_EQ(Fixtures::bytes(day),
              "head\r\nline one\r\nline two, cut by the full disk\r\nline three\r\nline four\r\n");
    EXPECT_EQ(changes, QStringList({changes[0], ""}));

    // Quitting while the disk is full: the last try is taken back whole.
    spaceLeft = 4;
    writer->append("day.csv", "line five");
    writer.reset();
    EXPECT_TRUE(Fixtures::bytes(day).endsWith("line four\r\n"));

    // A line that another program's crash cut is ended, never glued to the next.
    Fixtures::file(dir.path(), "day.csv", Fixtures::bytes(day) + "line fi");
    LogWriter(dir.path(), "head", [](const QString&) {}).append("day.csv", "line six");
    EXPECT_TRUE(Fixtures::bytes(day).endsWith("line four\r\nline fi\r\nline six\r\n"));

    // A disk that stops answering holds the end for kEndWait at most; stderr says how many
    // lines were not written.
    std::promise<void> answer;
    // A folder name of its own: the writer left behind lets go of it after the test ends,
    // and ThreadSanitizer does not see Qt's reference counts.
    const QString folder = QString::fromUtf8(dir.path().toUtf8());
    writer = std::make_unique<LogWriter>(
        folder, "head", [](const QString&) {},
        [answered = answer.get_future().share()](int fd, const char* bytes, std::size_t count) {
            answered.wait();
            return ::write(fd, bytes, count);
        });
    writer->append("hung.csv", "line seven");
    testing::internal::CaptureStderr();
    writer.reset();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "airloom: 1 as-run log line(s) could not be written\n");
    answer.set_value();
}
