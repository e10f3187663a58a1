#include "deckrig.h"
#include "decks/asrunlog.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>

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
        QFile file(logFolder + "/2026-03-01.csv");
        if (!file.open(QIODevice::ReadOnly))
            return {"no file"};
        QStringList all = QString::fromUtf8(file.readAll()).split("\r\n");
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
              QStringList({
                              "05:09.042+01:00,2,Spot,Spot.wav,305,100,stopped",
                              "05:10.042+01:00,2,Spot,Spot.wav,305,305,end",
                              "05:11.042+01:00,2,Spot,Spot.wav,305,50,cut",
                              "05:12.042+01:00,3,\"Mix, \"\"Live\"\"\",\"Mix, \"\"Live\"\".wav\","
                              "1000,1000,end",
                              "05:13.042+01:00,4,ID,ID.wav,500,50,stopped",
                              "05:14.042+01:00,1,Bed,Bed.wav,205,205,end",
                              "05:15.042+01:00,1,Bed,Bed.wav,205,205,end",
                              "05:16.042+01:00,1,Bed,Bed.wav,205,205,end",
                              "05:17.042+01:00,1,Bed,Bed.wav,205,25,stopped",
                              "05:18.042+01:00,5,Gone,Gone.wav,500,500,emptied",
                              "05:19.042+01:00,4,ID,ID.wav,500,70,stopped",
                          })
                  .join('\n')
                  .toStdString());
}

// A log folder that cannot be made is reported once while the decks play on; once it can,
// every line held back is written in order.
TEST_F(AsRunLogTest, AFailingFolderIsReportedOnceAndNothingIsLost) {
    QDir().mkpath(folder() + "/settings");
    QFile blocker(logFolder); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy failed(log.get(), &AsRunLog::writeFailed);
    put(1, "A.wav", 100);
    put(2, "B.wav", 100);
    for (int pass = 0; pass < 3; ++pass)
        step("fire 1, tick 12, fire 2, tick 5");
    log->flush();
    QCoreApplication::processEvents();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed[0][0].toString().startsWith("As-run log not written: cannot create"));
    EXPECT_TRUE(playing());

    blocker.remove();
    step("tick 20, fire 1, tick 12");
    const QStringList held = lines();
    ASSERT_EQ(held.size(), 7);
    EXPECT_EQ(held[0], "05:09.042+01:00,1,A,A.wav,100,100,end");
    EXPECT_EQ(held[5], "05:14.042+01:00,2,B,B.wav,100,100,end");
    EXPECT_EQ(held[6], "05:15.042+01:00,1,A,A.wav,100,100,end");
}
