#include "ui/about_dlg.h"

#include <string>

#include "ui/resource_ids.h"
#include "ui/win/version_info.h"

CAboutDlg::CAboutDlg() : CMappedDialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    std::string label = "カルデノツール";
    // Without version information the name stands alone; the version text is shown as it is.
    if (const auto version = ReadProductVersion()) label += " Version " + *version;
    Item(IDC_ABOUT_LABEL).SetText(label);
    return true;
}
