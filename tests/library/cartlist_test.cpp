#include "library/cartlist.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

class CartListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString folder(const QString& name = QString()) const {
        return name.isEmpty() ? m_dir.path() : m_dir.filePath(name);
    }
    void addFiles(const QStringList& names, const QString& in = QString()) {
        for (const QString& name : names)
            touch(QDir(folder(in)).filePath(name));
    }

    QTemporaryDir m_dir;
    CartList m_list;
};

TEST_F(CartListTest, ListsCartFilesWithoutRegardToCaseAndSortsThem) {
    addFiles({"b.WAV", "C.mp3", "a.Mpg", "Zed.wav", "notes.txt", "cart.wave", "cart.wav.bak", "wav",
              ".hidden.wav"});
    ASSERT_TRUE(QDir(folder()).mkdir("folder.mp3"));
    ASSERT_TRUE(QFile::link(folder("Zed.wav"), folder("link to zed.wav")));
    ASSERT_TRUE(QFile::link(folder("gone.wav"), folder("dangling.wav")));
    ASSERT_TRUE(QFile::link(folder("folder.mp3"), folder("dirlink.mp3")));

    ASSERT_TRUE(m_list.setPath(folder()));

    EXPECT_EQ(m_list.names(),
              QStringList({"a.Mpg", "b.WAV", "C.mp3", "link to zed.wav", "Zed.wav"}));
    EXPECT_EQ(m_list.Path(), folder());
    EXPECT_EQ(m_list.ListIndex(), -1);
    EXPECT_EQ(m_list.FileName(), "");
}

TEST_F(CartListTest, NamesDifferingOnlyInCaseKeepAFixedOrder) {
    addFiles({"jingle.wav", "JINGLE.wav", "Jingle.wav"});
    ASSERT_TRUE(m_list.setPath(folder()));
    EXPECT_EQ(m_list.names(), QStringList({"JINGLE.wav", "Jingle.wav", "jingle.wav"}));
}

TEST_F(CartListTest, EmptyFolderListsNothing) {
    ASSERT_TRUE(m_list.setPath(folder()));
    EXPECT_EQ(m_list.ListCount(), 0);
    m_list.CartListSearch("");
    EXPECT_EQ(m_list.ListIndex(), -1);
}

TEST_F(CartListTest, FolderIsKeptWithoutTrailingSeparator) {
    ASSERT_TRUE(m_list.setPath(folder() + "/"));
    EXPECT_EQ(m_list.Path(), folder());
    ASSERT_TRUE(m_list.setPath("/"));
    EXPECT_EQ(m_list.Path(), "/");
}

TEST_F(CartListTest, FailedSetPathKeepsFolderContentsAndSelection) {
    addFiles({"News.wav", "Sunday.wav", "plain file"});
    ASSERT_TRUE(m_list.setPath(folder()));
    m_list.setListIndex(1);
    QSignalSpy changed(&m_list, &CartList::listChanged);

    for (const QString& bad : {folder("vanished"), folder("plain file"), QString()}) {
        QString error;
        EXPECT_FALSE(m_list.setPath(bad, &error));
        EXPECT_FALSE(error.isEmpty()) << bad.toStdString();
        EXPECT_EQ(m_list.Path(), folder());
        EXPECT_EQ(m_list.names(), QStringList({"News.wav", "Sunday.wav"}));
        EXPECT_EQ(m_list.FileName(), "Sunday.wav");
    }
    EXPECT_FALSE(m_list.setPath(folder("vanished"))); // the error pointer is optional
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(CartListTest, ErrorNamesTheFolderAndTheReason) {
    QString error;
    ASSERT_FALSE(m_list.setPath(folder("vanished"), &error));
    EXPECT_TRUE(error.contains(folder("vanished"))) << error.toStdString();
    EXPECT_TRUE(error.contains("No such file or directory")) << error.toStdString();
}

TEST_F(CartListTest, SetPathClearsTheSelection) {
    ASSERT_TRUE(QDir(folder()).mkdir("other"));
    addFiles({"News.wav"});
    addFiles({"Other.wav"}, "other");
    ASSERT_TRUE(m_list.setPath(folder()));
    m_list.setListIndex(0);
    QSignalSpy index(&m_list, &CartList::listIndexChanged);
    ASSERT_TRUE(m_list.setPath(folder("other")));
    EXPECT_EQ(m_list.names(), QStringList({"Other.wav"}));
    EXPECT_EQ(m_list.ListIndex(), -1);
    ASSERT_EQ(index.count(), 1);
    EXPECT_EQ(index.at(0).at(0).toInt(), -1);
}

TEST_F(CartListTest, RefreshShowsChangesAndFollowsTheSelectedName) {
    addFiles({"B.wav", "D.wav"});
    ASSERT_TRUE(m_list.setPath(folder()));
    m_list.setListIndex(1); // D.wav
    QSignalSpy changed(&m_list, &CartList::listChanged);

    addFiles({"A.wav", "C.wav"});
    ASSERT_TRUE(m_list.Refresh());
    EXPECT_EQ(m_list.names(), QStringList({"A.wav", "B.wav", "C.wav", "D.wav"}));
    EXPECT_EQ(m_list.FileName(), "D.wav");
    EXPECT_EQ(m_list.ListIndex(), 3);
    EXPECT_EQ(changed.count(), 1);

    ASSERT_TRUE(QFile::remove(folder("D.wav")));
    ASSERT_TRUE(m_list.Refresh());
    EXPECT_EQ(m_list.names(), QStringList({"A.wav", "B.wav", "C.wav"}));
    EXPECT_EQ(m_list.ListIndex(), -1);
}

TEST_F(CartListTest, RefreshOfAVanishedFolderFailsAndKeepsTheList) {
    ASSERT_TRUE(QDir(folder()).mkdir("cat"));
    addFiles({"News.wav"}, "cat");
    ASSERT_TRUE(m_list.setPath(folder("cat")));
    m_list.setListIndex(0);
    ASSERT_TRUE(QDir(folder("cat")).removeRecursively());

    QString error;
    EXPECT_FALSE(m_list.Refresh(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(m_list.names(), QStringList({"News.wav"}));
    EXPECT_EQ(m_list.FileName(), "News.wav");
}

TEST_F(CartListTest, RefreshBeforeAnyFolderFails) {
    QString error;
    EXPECT_FALSE(m_list.Refresh(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(CartListTest, ListIndexOutOfRangeMeansNoSelection) {
    addFiles({"News.wav"});
    ASSERT_TRUE(m_list.setPath(folder()));
    m_list.setListIndex(0);
    EXPECT_EQ(m_list.FileName(), "News.wav");
    m_list.setListIndex(1);
    EXPECT_EQ(m_list.ListIndex(), -1);
    EXPECT_EQ(m_list.FileName(), "");
    m_list.setListIndex(-7);
    EXPECT_EQ(m_list.ListIndex(), -1);
}

class CartListSearchTest : public CartListTest {
protected:
    void SetUp() override {
        CartListTest::SetUp();
        addFiles({"News.wav", "Station ID.wav", "Sunday.wav"});
        ASSERT_TRUE(m_list.setPath(folder()));
    }
    QString searched(const QString& text) {
        m_list.CartListSearch(text);
        return m_list.FileName();
    }
};

TEST_F(CartListSearchTest, SelectsTheFirstNameAtOrAfterTheText) {
    EXPECT_EQ(searched("Sta"), "Station ID.wav");
    EXPECT_EQ(searched("Stz"), "Sunday.wav"); // not a prefix match
    EXPECT_EQ(searched("N"), "News.wav");
    EXPECT_EQ(searched("Station ID.wav"), "Station ID.wav"); // equal counts
    EXPECT_EQ(searched("Station ID.wav "), "Sunday.wav");
}

TEST_F(CartListSearchTest, NoMatchKeepsTheSelection) {
    EXPECT_EQ(searched("Sta"), "Station ID.wav");
    EXPECT_EQ(searched("Zz"), "Station ID.wav");
    // Small letters sort after every capital, so no name starting with one matches.
    EXPECT_EQ(searched("sta"), "Station ID.wav");

    m_list.setListIndex(-1);
    EXPECT_EQ(searched("Zz"), "");
    EXPECT_EQ(m_list.ListIndex(), -1);
}

TEST_F(CartListSearchTest, EmptyTextSelectsTheFirstItem) {
    EXPECT_EQ(searched("Stz"), "Sunday.wav");
    EXPECT_EQ(searched(""), "News.wav");
    EXPECT_EQ(m_list.ListIndex(), 0);
}

TEST_F(CartListSearchTest, SignalsOnlyWhenTheSelectionMoves) {
    QSignalSpy index(&m_list, &CartList::listIndexChanged);
    m_list.CartListSearch("Sta");
    m_list.CartListSearch("Stat");
    m_list.CartListSearch("Zz");
    ASSERT_EQ(index.count(), 1);
    EXPECT_EQ(index.at(0).at(0).toInt(), 1);
}

TEST_F(CartListTest, SearchWalksTheListInItsShownOrder) {
    // Shown without regard to case (apple before Banana), compared with case distinct:
    // "apple" is already >= "B", so the walk stops at the first item.
    addFiles({"apple.wav", "Banana.wav"});
    ASSERT_TRUE(m_list.setPath(folder()));
    m_list.CartListSearch("B");
    EXPECT_EQ(m_list.FileName(), "apple.wav");
}

TEST_F(CartListTest, SearchComparesByCodeUnitBeyondAscii) {
    addFiles({"Ärger.wav", "Zoo.wav"});
    ASSERT_TRUE(m_list.setPath(folder()));
    EXPECT_EQ(m_list.names(), QStringList({"Zoo.wav", "Ärger.wav"}));
    m_list.CartListSearch("a"); // 'a' < 'Ä' (U+00C4), 'Z' < 'a'
    EXPECT_EQ(m_list.FileName(), "Ärger.wav");
}

} // namespace
