// The About box (dialog template 100): the product name and the product version of the program's
// version resource. Shown modally from the main dialog's system menu, on the dialog's thread.
#pragma once

#include <span>

#include "ui/win/dialog.h"

class CAboutDlg : public CMappedDialog<CAboutDlg> {
public:
    CAboutDlg();

private:
    friend class CMappedDialog<CAboutDlg>;
    // Empty: "閉じる(&C)", Enter and Esc close the box through the dialog's default handling.
    static std::span<const MessageMapEntry<CAboutDlg>> MessageMap() { return {}; }

    bool OnInitDialog() override;
};
