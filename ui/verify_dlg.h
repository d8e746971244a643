// The verification dialog (template 104): proves a copied disc against the result report on it and
// shows what was found, one finding a line, selectable and copyable, then the verdict in a message
// box. Opened modally over the main dialog from its system menu, on the dialog's thread; the
// verification runs on a worker of its own (CDiscVerification), which reaches this dialog only
// through posted messages.
#pragma once

#include <exception>
#include <span>
#include <string>

#include "support/log_file.h"
#include "ui/dialog_services.h"
#include "ui/disc_verification.h"
#include "ui/win/dialog.h"
#include "ui/win/edit_box.h"
#include "ui/win/progress_bar.h"

class CVerifyDlg : public CMappedDialog<CVerifyDlg>, private IVerificationView {
public:
    // log: the main dialog's, for what its handlers let escape.
    CVerifyDlg(IDialogServices& services, CLogFile& log, std::string reportPath);

    // The system menu's command: asks for the result report on the disc, then verifies it in this
    // dialog, modal over owner (which is disabled meanwhile). Nothing more when the chooser is
    // cancelled. An exception is logged and shown as the fatal error (message 105).
    static void ChooseAndVerify(const CWindow& owner, IDialogServices& services, CLogFile& log);

private:
    friend class CMappedDialog<CVerifyDlg>;
    static std::span<const MessageMapEntry<CVerifyDlg>> MessageMap();

    bool OnInitDialog() override;
    void OnUncaughtException(std::exception_ptr error) override;
    void OnIgnoreKey();
    // The one button, Esc and the close box: an abort while the verification runs, then the end.
    void OnCancel();
    void OnProgress();
    void OnFinished();
    void ShowOver();

    // IVerificationView, on the worker.
    void PostProgress() override;
    void PostFinished() override;

    IDialogServices& m_services;
    CLogFile& m_log;
    std::string m_reportPath;
    bool m_over = false;  // the verification has ended (or never started): the button closes
    CProgressBar m_progress;
    CEditBox m_findings;
    CWindow m_button;
    CDiscVerification m_verification;  // last: its destruction waits for the worker
};
