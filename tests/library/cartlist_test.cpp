#include "library/cartlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CartListTest : public ::testing::Test {
protected:
    QString path(const QString& name = {}) const {
        return name.isEmpty() ? m_dir.path() : m_dir.filePath(name);
    }
    // Empty files, in subfolders where the name says so.
    void addFiles(const QStringList& names) {
        for (const QString& name : names) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path(name)).path()));
            ASSERT_TRUE(QFile(path(name)).open(QIODevice::WriteOnly)) << name.toStdString();
        }
    }

    QTemporaryDir m_dir;
    CartList m_list;
};

TEST_F(CartListTest, ListsOnlyCartFilesSortedWithoutRegardToCase) {
    EXPECT_FALSE(m_list.Refresh()); // no folder yet
    ASSERT_TRUE(m_list.setPath(path()));
    EXPECT_EQ(m_list.ListCount(), 0);
    m_list.CartListSearch(""); // over an empty list
    EXPECT_EQ(m_list.ListIndex(), -1);

    addFiles({"b.WAV", "C.mp3", "a.Mpg", "Zed.wav", "jingle.wav", "JINGLE.wav", "Jingle.wav",
              "Ärger.wav", "notes.txt", "cart.wave", "cart.wav.bak", "wav", ".hidden.wav",
              "folder.mp3/x"});
    ASSERT_TRUE(QFile::link(path("Zed.wav"), path("link to zed.wav")));
    ASSERT_TRUE(QFile::link(path("gone.wav"), path("dangling.wav")));
    ASSERT_TRUE(QFile::link(path("folder.mp3"), path("dirlink.mp3")));
    ASSERT_TRUE(m_list.setPath(path() + "/"));
    // Names that differ only in case keep a fixed order.
    EXPECT_EQ(m_list.names(),
              QStringList({"a.Mpg", "b.WAV", "C.mp3", "JINGLE.wav", "Jingle.wav", "jingle.wav",
                           "link to zed.wav", "Zed.wav", "Ärger.wav"}));
    EXPECT_EQ(m_list.Path(), path());
    EXPECT_EQ(m_list.ListIndex(), -1);
    // The search selects the first name at or after the text in the list's own order, compared
    // whole (not as a prefix) and without regard to case, whatever case the names mix
    // ("Lin" finds "link to zed.wav", not "a.Mpg"). With none the selection stays; it is
    // announced only when it moves.
    QSignalSpy index(&m_list, &CartList::listIndexChanged);
    QStringList found;
    for (const char* text : {"Lin", "b.WAV ", "jin", "z", "\u00FF", "", "jingle.wav"}) {
        m_list.CartListSearch(QString::fromUtf8(text));
        found << m_list.FileName();
    }
    EXPECT_EQ(found, QStringList({"link to zed.wav", "C.mp3", "JINGLE.wav", "Zed.wav", "Zed.wav",
                                  "a.Mpg", "jingle.wav"}));
    EXPECT_EQ(index.count(), 6);
    ASSERT_TRUE(m_list.setPath("/"));
    EXPECT_EQ(m_list.Path(), "/");
}

TEST_F(CartListTest, TheSelectionThroughRefreshIndexFolderAndFailures) {
    addFiles({"B.wav", "D.wav", "other/Other.wav"});
    ASSERT_TRUE(m_list.setPath(path()));
    m_list.setListIndex(1);
    QSignalSpy changed(&m_list, &CartList::listChanged);

    // A refresh shows the changes and follows the selected name while it exists.
    addFiles({"A.wav", "C.wav"});
    ASSERT_TRUE(m_list.Refresh());
    EXPECT_EQ(m_list.names(), QStringList({"A.wav", "B.wav", "C.wav", "D.wav"}));
    EXPECT_EQ(m_list.FileName(), "D.wav");
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(QFile::remove(path("D.wav")));
    ASSERT_TRUE(m_list.Refresh());
    EXPECT_EQ(m_list.names(), QStringList({"A.wav", "B.wav", "C.wav"}));
    EXPECT_EQ(m_list.ListIndex(), -1);

    m_list.setListIndex(0);
    m_list.setListIndex(3); // out of range
    EXPECT_EQ(m_list.FileName(), "");

    m_list.setListIndex(0);
    QSignalSpy index(&m_list, &CartList::listIndexChanged);
    ASSERT_TRUE(m_list.setPath(path("other"))); // another folder clears the selection
    EXPECT_EQ(m_list.names(), QStringList({"Other.wav"}));
    EXPECT_EQ(m_list.ListIndex(), -1);
    EXPECT_EQ(index, QList<QList<QVariant>>{{-1}});

    // Failures keep the folder, its contents and the selection, and signal nothing.
    m_list.setListIndex(0);
    QSignalSpy quiet(&m_list, &CartList::listChanged);
    QString error;
    for (const QString& bad : {path("B.wav"), QString(), path("vanished")}) {
        error.clear();
        EXPECT_FALSE(m_list.setPath(bad, &error) || error.isEmpty()) << bad.toStdString();
    }
    EXPECT_EQ(error, path("vanished") + ": No such file or directory");
    ASSERT_TRUE(QDir(path("other")).removeRecursively());
    EXPECT_FALSE(m_list.Refresh());
    EXPECT_EQ(QStringList({m_list.Path()}) + m_list.names() + QStringList{m_list.FileName()},
              QStringList({path("other"), "Other.wav", "Other.wav"}));
    EXPECT_EQ(std::tuple(quiet.count(), index.count()), std::tuple(0, 2));
}

} // namespace
