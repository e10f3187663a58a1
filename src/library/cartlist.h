#pragma once

#include "common/cartselection.h"

#include <QObject>
#include <QString>
#include <QStringList>

// File1: the cart files of one folder, those whose names match *.wav, *.mpg or *.mp3
// without regard to case, sorted by name without regard to case; and the selection.
// UI thread only; setPath and Refresh read the folder.
class CartList : public QObject, public CartSelection {
    Q_OBJECT
public:
    explicit CartList(QObject* parent = nullptr);

    // Lists the folder and clears the selection. The folder is kept in its clean form
    // (QDir::cleanPath: no trailing or doubled "/"). Regular files and links to files are
    // listed, not folders, dangling links or hidden (dot) files. On failure (missing, not a
    // folder, unreadable) returns false with the reason in *error and keeps the previous
    // folder, contents and selection.
    bool setPath(const QString& folder, QString* error = nullptr);
    // Reads the folder again; the selection stays on the same name when it still exists.
    // On failure keeps the previous contents and selection.
    bool Refresh(QString* error = nullptr);

    QString Path() const override { return m_path; }
    QString FileName() const override; // "" when nothing is selected

    int ListIndex() const { return m_listIndex; } // -1 when nothing is selected
    void setListIndex(int index);
    int ListCount() const { return int(m_names.size()); }
    const QStringList& names() const { return m_names; }

    // Selects the first name at or after text in the list's own order, without regard to
    // case (an empty text selects the first name); leaves the selection when no name is.
    void CartListSearch(const QString& text);

signals:
    void listChanged(); // folder or contents read; ListIndex() tells the selection
    void listIndexChanged(int index);

private:
    QString m_path;
    QStringList m_names;
    int m_listIndex = -1;
};
