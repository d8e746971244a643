// The convert/abort button and the close request, without any window: the checks of a convert
// command in their order, the confirmation, the states of the button and of the two run flags, and
// the one worker thread of a run. Owned by the main dialog; every member runs on the dialog's
// thread, the worker's body on the worker.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/input_file_store.h"
#include "engine/output_folder.h"
#include "engine/run_host.h"
#include "support/log_file.h"
#include "ui/dialog_services.h"

// What the command needs of the dialog.
class IConvertView {
public:
    virtual ~IConvertView() = default;
    virtual std::string InputFolderText() = 0;
    virtual std::string OutputFolderText() = 0;
    // Each row's check box, in row order: 1 checked, 0 not.
    virtual std::vector<int> CheckStates() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(int position) = 0;
    // Replaces the rows and the store with these files of folder, every row unchecked.
    virtual void FillFileList(const std::string& folder, const std::vector<std::string>& names) = 0;
    // Empties the status column of every row.
    virtual void ClearRowStatuses() = 0;
    virtual void SetConvertButtonText(const std::string& text) = 0;
    virtual void EnableControls(bool enable) = 0;
    // The run itself; called on the worker thread.
    virtual void RunConversion() = 0;
};

class CConvertCommand {
public:
    // outputFolder: the run's (locked by the checks, given free by the run's end or a No).
    CConvertCommand(IConvertView& view, IDialogServices& services, InputFileStore& files, RunFlags& flags,
                    CLogFile& log, COutputFolder* outputFolder = nullptr);
    // Waits for the last worker, which by then has finished with the dialog (RunActive() is false).
    ~CConvertCommand();
    CConvertCommand(const CConvertCommand&) = delete;
    CConvertCommand& operator=(const CConvertCommand&) = delete;

    // A press of the button. While a run is active it only raises the abort request; otherwise it
    // makes the checks, asks for confirmation and starts a run. An exception is logged and shown
    // as the fatal error (message 105), a worker that cannot be started likewise, with the button
    // and the controls back as they were.
    void OnConvert();

    // True from the start of a run until its worker has made its last call to the dialog; the
    // dialog must not go away meanwhile.
    bool RunActive() const { return m_workerActive.load() == 1; }

private:
    void Convert();
    void StartRun();

    IConvertView& m_view;
    IDialogServices& m_services;
    InputFileStore& m_files;
    RunFlags& m_flags;
    CLogFile& m_log;
    COutputFolder* m_outputFolder;
    std::atomic<int> m_workerActive{0};
    std::thread m_worker;
};
