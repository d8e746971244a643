// The main dialog (template 102): the folder boxes, the file list with its check boxes, the split
// size, the convert/abort button, and the status bar with the status text and the progress bar.
// It owns every piece of state of the program for the life of the process: the log, the list and
// its store, the run flags, the run and the convert command. The handlers run on the dialog's
// thread; the worker of a run calls the IRunHost operations, which are carried out on the dialog's
// thread (a sent message) before they return, and the message boxes, which it shows itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/input_file_store.h"
#include "support/log_file.h"
#include "ui/convert_command.h"
#include "ui/custom_list_ctrl.h"
#include "ui/dialog_services.h"
#include "ui/run_texts.h"
#include "ui/win/combo_box.h"
#include "ui/win/dialog.h"
#include "ui/win/progress_bar.h"
#include "ui/win/status_bar.h"

class CTolvarenquistaDlg : public CMappedDialog<CTolvarenquistaDlg>, public CRunTexts, private IConvertView {
public:
    explicit CTolvarenquistaDlg(IDialogServices& services);

    // IRunHost, from any thread.
    std::string OutputFolder() override;
    std::uint64_t SplitLimit() override;
    void SetProgress(int position) override;
    int GetProgress() override;
    // Where CRunTexts puts the run's texts. The status text in pane 0 of the status bar.
    void SetStatusText(const std::string& text) override;
    void SetRowStatusText(int row, const std::string& text) override;
    // Enables or disables the split size, the three browse and select buttons, the toggling of
    // the list's check boxes and the close and disc verification items of the system menu.
    void EnableControls(bool enable) override;
    void SetConvertButtonText(const std::string& text) override;
    bool ShowMessage(const std::string& text, MessageKind kind) override;
    void OpenReport(const std::string& path) override;

private:
    friend class CMappedDialog<CTolvarenquistaDlg>;
    static std::span<const MessageMapEntry<CTolvarenquistaDlg>> MessageMap();

    bool OnInitDialog() override;
    void OnUncaughtException(std::exception_ptr error) override;
    bool OnSysCommand(SysCommand command);
    bool OnPaint();
    HICON OnQueryDragIcon();
    void OnIgnoreKey();
    void OnClose();
    void OnConvert();
    bool OnSetCursor();
    void OnBrowseOutput();
    void OnBrowseInput();
    void OnSelectAll();
    void OnDeselectAll();

    // The set-up after the system menu and the icons; false when the log cannot be made ready.
    bool SetUp();
    void CreateStatusBar();
    void CreateFileList();
    void SetAllChecks(bool checked);

    // IConvertView, on the dialog's thread.
    std::string InputFolderText() override;
    std::string OutputFolderText() override;
    std::vector<int> CheckStates() override;
    void FillFileList(const std::string& folder, const std::vector<std::string>& names) override;
    void ClearRowStatuses() override;
    void RunConversion() override;

    IDialogServices& m_services;
    HICON m_hIcon;
    CLogFile m_log;
    CStatusBar m_statusBar;
    CProgressBar m_progress;
    CWindow m_statusText;  // control 1003, moved into pane 0 of the status bar
    CCustomListCtrl m_list;
    InputFileStore m_files;
    RunFlags m_flags;  // m_running and m_abortRequested, shared with the worker
    CWindow m_inputFolder;
    CWindow m_outputFolder;
    CComboBox m_splitSize;
    CWindow m_convertButton;
    CConversionRun m_run;
    CConvertCommand m_command;  // last: its destruction waits for the worker
};
