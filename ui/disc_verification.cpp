#include "ui/disc_verification.h"

#include <cstdint>
#include <utility>

CDiscVerification::CDiscVerification(IVerificationView& view, IDialogServices& services)
    : m_view(view), m_services(services) {}

CDiscVerification::~CDiscVerification() {
    if (!m_worker.joinable()) return;
    RequestAbort();
    m_worker.join();
}

void CDiscVerification::Start(const std::string& reportPath) {
    if (m_worker.joinable()) m_worker.join();  // a verification before, over (its last act is done)
    m_abortRequested = 0;
    m_percent = 0;
    m_worker = m_services.StartThread([this, reportPath] {
        VerifyWatch watch;
        // Told after every read: the dialog hears only of a change of the percentage.
        watch.progress = [this](std::uint64_t done, std::uint64_t total) {
            const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
            if (m_percent.exchange(percent) != percent) m_view.PostProgress();
        };
        watch.abortRequested = [this] { return m_abortRequested.load() == 1; };
        try {
            m_result = VerifyReport(reportPath, "", watch);
        } catch (...) {
            m_failure = std::current_exception();  // for the dialog's guard, on its thread
        }
        m_view.PostFinished();
    });
}

const ReportVerification& CDiscVerification::Finish() {
    if (m_worker.joinable()) m_worker.join();
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
    return m_result;
}

Verdict VerdictOf(const ReportVerification& verification) {
    if (verification.aborted) return Verdict::Aborted;
    return verification.Passed() ? Verdict::Passed : Verdict::Failed;
}

std::string VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed: return "ディスクの内容は報告時と一致しました。このディスクを送れます。";
        case Verdict::Failed: return "ディスクに問題があります。確認結果を見てください。";
        case Verdict::Aborted: return "ディスクの確認を中断しました。ディスクの内容は確かめられていません。";
    }
    return "";
}
