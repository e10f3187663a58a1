#pragma once

#include "common/messageboxes.h"

// The operator's message boxes as QMessageBox: the style's buttons, icon and default
// button, the caption and text exactly as given. Each box is application-modal, blocks
// until it is answered, belongs to the window that was active and gives the focus back to
// it. UI thread only.
class QtMessageBoxes : public MessageBoxes {
public:
    int MsgBox(const QString& text, int style, const QString& caption) override;
};
