#include "library/libraryrig.h"

#include "audio/fixtures.h"

#include <QDir>
#include <QFile>
#include <memory>

LibraryRig::LibraryRig()
    : device(new ManualDevice()), audio(std::unique_ptr<OutputDevice>(device)), player(audio),
      preview(audio), settings(rigDir.filePath(QStringLiteral("Vidav.ini"))),
      decks(player, preview, list, pump), library(list, tabs, settings, decks, boxes),
      keys(decks, list), row(decks, library) {}

void LibraryRig::SetUp() {
    ASSERT_TRUE(rigDir.isValid());
}

QString LibraryRig::makeFolder(const QString& name, const QStringList& carts) {
    const QString folder = rigDir.filePath(name);
    EXPECT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
    for (const QString& cart : carts)
        addCart(folder, cart);
    return folder;
}

void LibraryRig::addCart(const QString& folder, const QString& name) {
    EXPECT_FALSE(Fixtures::wav(folder, name, 1000).isEmpty()) << name.toStdString();
}

void LibraryRig::writeSettings(const QByteArray& text) {
    QFile file(settings.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(text), text.size());
}

void LibraryRig::selectCart(const QString& name) {
    const int index = int(list.names().indexOf(name));
    ASSERT_NE(index, -1) << name.toStdString();
    list.setListIndex(index);
}

void LibraryRig::loadDeck(int deck, const QString& name) {
    selectCart(name);
    keys.HandleFunctionKey(FunctionKeys::kF1 + deck - 1, FunctionKeys::kCtrl);
    ASSERT_EQ(decks.FilePath(deck), JoinCartPath(list.Path(), name));
    audio.waitForBackgroundWork();
}

void LibraryRig::startDeck(int deck) {
    decks.FireDeck(deck);
    settle();
    ASSERT_TRUE(decks.IsPlaying(deck)) << deck;
}

void LibraryRig::settle() {
    device->renderPeriods(4);
}
