// The verification of a copied disc as the dialog runs it, without any window: one worker thread
// runs VerifyReport on the chosen result report, with the operator's abort flag and the progress in
// percent shared as atomics; then the lines and the verdict the dialog shows. Owned by the
// verification dialog: Start, RequestAbort and Finish on the dialog's thread; the view's two calls
// come from the worker, which never waits for the dialog.
#pragma once

#include <atomic>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "engine/report_verifier.h"
#include "ui/dialog_services.h"

// What the worker tells the dialog; each call only posts (the dialog's thread may be waiting for the
// worker meanwhile).
class IVerificationView {
public:
    virtual ~IVerificationView() = default;
    // Percent() has changed.
    virtual void PostProgress() = 0;
    // The worker's last act: the verification is over, Finish may be called.
    virtual void PostFinished() = 0;
};

class CDiscVerification {
public:
    CDiscVerification(IVerificationView& view, IDialogServices& services);
    // Stops a worker that is still at work (as an abort) and waits for it.
    ~CDiscVerification();
    CDiscVerification(const CDiscVerification&) = delete;
    CDiscVerification& operator=(const CDiscVerification&) = delete;

    // Starts the worker on reportPath; the outputs are looked for beside it, where the disc has them.
    // Throws std::system_error when no thread can be started (nothing runs then).
    void Start(const std::string& reportPath);
    // The operator's abort: the worker stops before its next read. Asks nothing.
    void RequestAbort() { m_abortRequested = 1; }
    // Of the bytes to read, the part read, 0 to 100.
    int Percent() const { return m_percent.load(); }
    // After PostFinished: waits for the worker to be gone and returns what it found. An exception
    // that ended the worker is thrown again here, for the dialog's guard.
    const ReportVerification& Finish();

private:
    IVerificationView& m_view;
    IDialogServices& m_services;
    std::atomic<int> m_abortRequested{0};
    std::atomic<int> m_percent{0};
    // Written by the worker before PostFinished, read on the dialog's thread after it has joined.
    ReportVerification m_result;
    std::exception_ptr m_failure;
    std::thread m_worker;
};

enum class Verdict { Passed, Failed, Aborted };
Verdict VerdictOf(const ReportVerification& verification);
// The text of the message box that tells the verdict.
std::string VerdictText(Verdict verdict);
