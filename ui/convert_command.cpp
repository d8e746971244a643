#include "ui/convert_command.h"

#include "engine/convert_checks.h"
#include "engine/messages.h"
#include "ui/handler_guard.h"
#include "ui/run_texts.h"

CConvertCommand::CConvertCommand(IConvertView& view, IDialogServices& services, InputFileStore& files, RunFlags& flags,
                                 CLogFile& log, COutputFolder* outputFolder)
    : m_view(view), m_services(services), m_files(files), m_flags(flags), m_log(log), m_outputFolder(outputFolder) {}

CConvertCommand::~CConvertCommand() {
    if (m_worker.joinable()) m_worker.join();
}

void CConvertCommand::OnConvert() {
    // A run counts as active from its start, not only from the worker's first act, so that a press
    // in between turns into an abort request instead of a second run.
    if (m_flags.running.load() == 1) {
        m_flags.abortRequested = 1;
        return;
    }
    // The worker has ended the run but not yet left: the press comes too late to abort and too
    // early to start.
    if (RunActive()) return;
    RunGuarded(m_log, m_services, __LINE__, [this] { Convert(); });
}

void CConvertCommand::Convert() {
    // Reset first: a refused press also leaves an empty status text and the bar at 0.
    m_view.SetStatusText("");
    m_view.SetProgress(0);
    const std::string input = m_view.InputFolderText();
    const std::string output = m_view.OutputFolderText();
    const ConvertCheck check = CheckConvertRequest(input, output, m_files, m_view.CheckStates(),
                                                   m_services.ProtectedFolders(), m_outputFolder);
    if (check.outcome != CheckOutcome::Ready) {
        m_services.ShowMessage(check.text, MessageKind::Exclamation);
        if (check.outcome == CheckOutcome::RefusedRefill) m_view.FillFileList(input, check.scanned);
        return;
    }
    m_files.statuses.clear();
    m_files.results.clear();
    if (!m_services.ShowMessage(LoadMessage(kMsgConfirmConvert), MessageKind::Question)) {
        if (m_outputFolder != nullptr) m_outputFolder->Release();  // no run: the folder is free again
        return;
    }
    m_view.ClearRowStatuses();
    StartRun();
}

void CConvertCommand::StartRun() {
    // The previous worker has made its last call to the dialog; only its thread is left to join.
    if (m_worker.joinable()) m_worker.join();
    m_flags.abortRequested = 0;
    m_view.SetConvertButtonText(kButtonAbort);
    // The running state is entered here, before the worker exists, and the input controls are
    // locked at once: nothing the operator does before the worker's first act can start a second
    // run or change the list under it. The worker enters the same state again as its first act.
    m_flags.running = 1;
    m_workerActive = 1;
    m_view.EnableControls(false);
    try {
        m_worker = m_services.StartThread([this] {
            try {
                m_view.RunConversion();
            } catch (...) {
                // The run reports every failure itself; one while reporting cannot be told, but it
                // must not end the program: the dialog is given back.
                m_flags.running = 0;
            }
            m_workerActive = 0;
        });
    } catch (...) {
        if (m_outputFolder != nullptr) m_outputFolder->Release();
        m_workerActive = 0;
        m_flags.running = 0;
        m_view.EnableControls(true);
        m_view.SetConvertButtonText(kButtonConvert);
        throw;  // to the guard: logged, message 105
    }
}
