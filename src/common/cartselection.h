#pragma once

#include <QString>

// What loading a cart needs from the cart list: the selected file's name (no folder)
// and the folder the list shows. UI thread only.
class CartSelection {
public:
    virtual ~CartSelection() = default;
    virtual QString FileName() const = 0; // "" when nothing is selected
    virtual QString Path() const = 0;
};

// Folder + "/" + name, without a doubled separator when the folder already ends with one
// (the root "/"). Loading and deleting build paths the same way, so they compare equal.
inline QString JoinCartPath(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}
