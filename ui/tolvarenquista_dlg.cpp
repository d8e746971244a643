#include "ui/tolvarenquista_dlg.h"

#include "engine/convert_checks.h"
#include "engine/messages.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "ui/about_dlg.h"
#include "ui/handler_guard.h"
#include "ui/resource_ids.h"
#include "ui/verify_dlg.h"
#include "ui/win/paint_dc.h"
#include "ui/win/system_menu.h"

namespace {

const char kCaption[] = "カルデノツール 【Ver.2】";
const char kInputBrowserTitle[] = "読込みフォルダの選択";
const char kOutputBrowserTitle[] = "出力フォルダの選択";

constexpr int kColumnName = 0;
constexpr int kColumnSize = 1;
constexpr int kColumnStatus = 2;
constexpr int kColumnCount = 3;

// Pane 1 of the status bar, which holds the progress bar, in pixels at 96 DPI (scaled to the
// dialog's); pane 0 takes the rest.
constexpr int kProgressPaneWidth = 120;
constexpr DWORD kProgressStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
constexpr int kProgressMax = 100;

constexpr DWORD kListStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
constexpr DWORD kListExtendedStyle = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;

// The list and the group box that frames it with the two select buttons, in dialog units. The
// group box is raised from its place in the template to take in the buttons. (At the scale of the
// template's font on the system it was made for, 1.75 by 1.5 pixels to the unit, these are the
// pixel rectangles 19, 113 to 483, 280 and 11, 63 with 481 x 222.)
struct DialogUnits {
    int x, y, width, height;
};
constexpr DialogUnits kListRect{11, 75, 265, 112};
constexpr DialogUnits kGroupRect{6, 42, 275, 148};

}  // namespace

CTolvarenquistaDlg::CTolvarenquistaDlg(IDialogServices& services)
    : CMappedDialog(IDD_TOLVARENQUISTA_DIALOG),
      m_services(services),
      m_hIcon(LoadResourceIcon(IDR_MAINFRAME)),
      m_log(kLogSource),
      m_run(*this, m_files, m_flags, m_log),
      m_command(*this, services, m_files, m_flags, m_log, &m_run.OutputFolder()) {}

std::span<const MessageMapEntry<CTolvarenquistaDlg>> CTolvarenquistaDlg::MessageMap() {
    using T = CTolvarenquistaDlg;
    static const MessageMapEntry<T> kMessageMap[] = {
        OnMessage<T>(WM_SYSCOMMAND, &T::OnSysCommand),
        OnMessage<T>(WM_PAINT, &T::OnPaint),
        OnMessage<T>(WM_QUERYDRAGICON, &T::OnQueryDragIcon),
        OnCommand<T>(IDOK, &T::OnIgnoreKey),
        OnCommand<T>(IDCANCEL, &T::OnIgnoreKey),
        OnMessage<T>(WM_CLOSE, &T::OnClose),
        OnCommand<T>(IDC_CONVERT, &T::OnConvert),
        OnMessage<T>(WM_SETCURSOR, &T::OnSetCursor),
        OnCommand<T>(IDC_BROWSE_OUTPUT, &T::OnBrowseOutput),
        OnCommand<T>(IDC_BROWSE_INPUT, &T::OnBrowseInput),
        OnCommand<T>(IDC_SELECT_ALL, &T::OnSelectAll),
        OnCommand<T>(IDC_DESELECT_ALL, &T::OnDeselectAll),
    };
    return kMessageMap;
}

// ---- Set-up ----

bool CTolvarenquistaDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const CSystemMenu menu(*this);
    const std::string aboutItem = LoadResourceString(kMsgAboutMenuItem);
    if (menu.IsValid() && !aboutItem.empty()) menu.InsertItem(0, IDM_ABOUTBOX, aboutItem);
    // Inserted before the same item as the About item: directly below it.
    const std::string verifyItem = LoadResourceString(IDS_VERIFY_DISC);
    if (menu.IsValid() && !verifyItem.empty()) menu.InsertItem(0, IDM_VERIFY_DISC, verifyItem);
    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    bool ready = false;
    const bool completed = RunGuarded(m_log, m_services, __LINE__, [&] { ready = SetUp(); });
    if (!completed || !ready) {
        // The program cannot go on without its log or its controls: it ends before it is shown.
        m_services.EndProcess(0);
        EndDialog(IDABORT);
    }
    return true;
}

bool CTolvarenquistaDlg::SetUp() {
    m_statusText = Item(IDC_STATUS_TEXT);
    m_inputFolder = Item(IDC_INPUT_FOLDER);
    m_outputFolder = Item(IDC_OUTPUT_FOLDER);
    m_splitSize = CComboBox(Item(IDC_SPLIT_SIZE).Handle());
    m_convertButton = Item(IDC_CONVERT);

    if (!m_log.InitLog(m_services.LogFolder())) {
        m_services.ShowMessage(LoadMessage(kMsgLogInitFailed), MessageKind::Stop);
        return false;
    }
    // A log that fails later costs only its entries: the first failure is shown in the status
    // text (from any thread, as the run's own texts are), and the program goes on.
    m_log.SetFailureHandler([this](const std::string& text) { SetStatusText(text); });
    CreateStatusBar();
    CreateFileList();
    SetText(kCaption);
    for (int id : {IDC_SELECT_ALL, IDC_DESELECT_ALL}) {
        Item(id).Show(true);
        Item(id).Enable(false);
    }
    const DialogUnits& group = kGroupRect;
    Item(IDC_FILE_GROUP).Move(MapDialogRect(group.x, group.y, group.width, group.height), true);
    m_list.AddExtendedStyle(kListExtendedStyle);
    for (int column = 0; column < kColumnCount; ++column) m_list.AutoSizeColumn(column);
    m_files.Clear();
    m_splitSize.SetCurSel(0);
    return true;
}

void CTolvarenquistaDlg::CreateStatusBar() {
    m_statusBar.Create(*this, IDC_STATUS_BAR);
    m_statusBar.UseFontOf(*this);
    m_statusBar.SetPanes({ClientRect().width - ScaleToDpi(kProgressPaneWidth), -1});
    m_statusBar.Layout();
    // The status text keeps the rectangle of pane 0, now in the status bar's coordinates.
    m_statusText.Move(m_statusBar.PaneRect(0), true);
    m_statusText.SetParent(m_statusBar);
    m_progress.Create(m_statusBar, kProgressStyle, m_statusBar.PaneRect(1), IDC_PROGRESS);
    m_progress.SetRange(0, kProgressMax);
    m_progress.SetPos(0);
}

void CTolvarenquistaDlg::CreateFileList() {
    const DialogUnits& rect = kListRect;
    m_list.Create(*this, kListStyle, MapDialogRect(rect.x, rect.y, rect.width, rect.height), IDC_FILE_LIST);
    m_list.UseFontOf(*this);
    m_list.InsertColumn(kColumnName, "ファイル名", CListView::Align::Left);
    m_list.InsertColumn(kColumnSize, "サイズ", CListView::Align::Right);
    m_list.InsertColumn(kColumnStatus, "処理状況", CListView::Align::Left);
}

// Handlers without a guard of their own (the system menu, painting, the close question, work the
// worker sends): an escaped exception is logged and told like any other.
void CTolvarenquistaDlg::OnUncaughtException(std::exception_ptr error) {
    RunGuarded(m_log, m_services, __LINE__, [&] { std::rethrow_exception(error); });
}

// ---- Small handlers ----

bool CTolvarenquistaDlg::OnSysCommand(SysCommand command) {
    if ((command.command & 0xFFF0) == IDM_VERIFY_DISC) {
        // Greyed during a run; a command that comes anyway waits for no run and starts nothing.
        if (!m_command.RunActive()) CVerifyDlg::ChooseAndVerify(*this, m_services, m_log);
        return true;
    }
    if ((command.command & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    // Owned by the main window, as a dialog without a parent is: the main dialog waits meanwhile.
    about.DoModal(Handle());
    return true;
}

bool CTolvarenquistaDlg::OnPaint() {
    if (!IsMinimized()) return false;
    const CPaintDC dc(*this);
    dc.EraseIconBackground();
    const PixelRect client = ClientRect();
    dc.DrawIcon((client.width - GetSystemMetrics(SM_CXICON) + 1) / 2,
                (client.height - GetSystemMetrics(SM_CYICON) + 1) / 2, m_hIcon);
    return true;
}

HICON CTolvarenquistaDlg::OnQueryDragIcon() { return m_hIcon; }

// Enter and Esc never close the dialog: it closes only through OnClose.
void CTolvarenquistaDlg::OnIgnoreKey() {}

bool CTolvarenquistaDlg::OnSetCursor() {
    if (m_flags.running.load() != 1) return false;
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    return true;
}

void CTolvarenquistaDlg::OnSelectAll() { SetAllChecks(true); }

void CTolvarenquistaDlg::OnDeselectAll() { SetAllChecks(false); }

void CTolvarenquistaDlg::SetAllChecks(bool checked) {
    for (int row = 0; row < m_list.ItemCount(); ++row) m_list.SetCheck(row, checked);
}

// ---- Commands ----

void CTolvarenquistaDlg::OnClose() {
    // The worker uses the dialog until its last act; a close request that slips past the disabled
    // close item during a run is refused rather than ending the dialog under it.
    if (m_command.RunActive()) return;
    if (!m_services.ShowMessage(LoadMessage(kMsgConfirmExit), MessageKind::Question)) return;
    EndDialog(IDCANCEL);
}

void CTolvarenquistaDlg::OnConvert() { m_command.OnConvert(); }

void CTolvarenquistaDlg::OnBrowseInput() {
    RunGuarded(m_log, m_services, __LINE__, [this] {
        std::string initial = m_inputFolder.GetText();
        if (!platform::PathExists(initial)) initial.clear();
        const auto folder = m_services.BrowseForFolder(kInputBrowserTitle, initial, false);
        if (!folder) return;
        const std::vector<std::string> names = ScanInputFolder(*folder);
        if (names.empty()) {
            m_services.ShowMessage(LoadMessage(kMsgNoInputFiles), MessageKind::Exclamation);
            return;
        }
        m_inputFolder.SetText(*folder);
        FillFileList(*folder, names);
    });
}

void CTolvarenquistaDlg::OnBrowseOutput() {
    RunGuarded(m_log, m_services, __LINE__, [this] {
        std::string initial = m_outputFolder.GetText();
        if (!platform::PathExists(initial)) initial.clear();
        if (const auto folder = m_services.BrowseForFolder(kOutputBrowserTitle, initial, true)) {
            m_outputFolder.SetText(*folder);
        }
    });
}

// ---- The file list ----

void CTolvarenquistaDlg::FillFileList(const std::string& folder, const std::vector<std::string>& names) {
    m_list.DeleteAllItems();
    m_files.Clear();
    m_files.folder = folder;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // A size that cannot be read throws: the rows before stay in the list and in the store.
        const std::string size = FormatFileSize(GetFileLength(JoinPath(folder, names[i])));
        const int row = m_list.InsertItem(static_cast<int>(i), names[i]);
        m_list.SetItemText(row, kColumnSize, size);
        m_list.SetItemText(row, kColumnStatus, "");
        m_files.names.push_back(names[i]);
    }
    for (int column = 0; column < kColumnCount; ++column) m_list.AutoSizeColumn(column);
    for (int id : {IDC_SELECT_ALL, IDC_DESELECT_ALL}) Item(id).Enable(!names.empty());
}

std::string CTolvarenquistaDlg::InputFolderText() { return m_inputFolder.GetText(); }

std::string CTolvarenquistaDlg::OutputFolderText() { return m_outputFolder.GetText(); }

std::vector<int> CTolvarenquistaDlg::CheckStates() {
    std::vector<int> states;
    for (int row = 0; row < m_list.ItemCount(); ++row) states.push_back(m_list.GetCheck(row));
    return states;
}

void CTolvarenquistaDlg::ClearRowStatuses() {
    for (int row = 0; row < m_list.ItemCount(); ++row) m_list.SetItemText(row, kColumnStatus, "");
}

// ---- The run ----

void CTolvarenquistaDlg::RunConversion() { m_run.ConvertThreadProc(); }

std::string CTolvarenquistaDlg::OutputFolder() {
    std::string folder;
    OnDialogThread([&] { folder = m_outputFolder.GetText(); });
    return folder;
}

std::uint64_t CTolvarenquistaDlg::SplitLimit() {
    int position = -1;
    OnDialogThread([&] { position = m_splitSize.GetCurSel(); });
    return SplitLimitForPosition(position);
}

void CTolvarenquistaDlg::SetProgress(int position) {
    OnDialogThread([&] { m_progress.SetPos(position); });
}

int CTolvarenquistaDlg::GetProgress() {
    int position = 0;
    OnDialogThread([&] { position = m_progress.GetPos(); });
    return position;
}

void CTolvarenquistaDlg::SetStatusText(const std::string& text) {
    OnDialogThread([&] { m_statusText.SetText(text); });
}

void CTolvarenquistaDlg::SetRowStatusText(int row, const std::string& text) {
    OnDialogThread([&] { m_list.SetItemText(row, kColumnStatus, text); });
}

void CTolvarenquistaDlg::EnableControls(bool enable) {
    OnDialogThread([&] {
        for (int id : {IDC_SPLIT_SIZE, IDC_BROWSE_INPUT, IDC_BROWSE_OUTPUT, IDC_SELECT_ALL, IDC_DESELECT_ALL}) {
            Item(id).Enable(enable);
        }
        m_list.SetCheckEnabled(enable ? 1 : 0);
        CSystemMenu(*this).EnableItem(SC_CLOSE, enable);
        CSystemMenu(*this).EnableItem(IDM_VERIFY_DISC, enable);
    });
}

void CTolvarenquistaDlg::SetConvertButtonText(const std::string& text) {
    OnDialogThread([&] { m_convertButton.SetText(text); });
}

// On the calling thread (the worker's questions and errors too), owned by the dialog.
bool CTolvarenquistaDlg::ShowMessage(const std::string& text, MessageKind kind) {
    return m_services.ShowMessage(text, kind);
}

void CTolvarenquistaDlg::OpenReport(const std::string& path) { m_services.OpenReport(path); }
