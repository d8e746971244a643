#include "ui/verify_dlg.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/result_report.h"
#include "ui/handler_guard.h"
#include "ui/resource_ids.h"

namespace {

const char kCaption[] = "ディスクの確認";
const char kChooserTitle[] = "ディスクの処理結果ファイルの選択";
const char kReportFilterName[] = "処理結果ファイル (*_Result.txt)";
const char kButtonClose[] = "閉じる(&C)";

// The worker's two messages (WM_APP + 1 carries CDialog's own work).
constexpr UINT kWmVerifyProgress = WM_APP + 2;
constexpr UINT kWmVerifyFinished = WM_APP + 3;

constexpr int kProgressMax = 100;

// The lines as a multi-line edit control takes them.
std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

}  // namespace

CVerifyDlg::CVerifyDlg(IDialogServices& services, CLogFile& log, std::string reportPath)
    : CMappedDialog(IDD_VERIFY_DISC),
      m_services(services),
      m_log(log),
      m_reportPath(std::move(reportPath)),
      m_verification(*this, services) {}

void CVerifyDlg::ChooseAndVerify(const CWindow& owner, IDialogServices& services, CLogFile& log) {
    RunGuarded(log, services, __LINE__, [&] {
        const std::optional<std::string> report =
            services.ChooseFile(kChooserTitle, kReportFilterName, std::string("*") + kReportSuffix);
        if (!report) return;
        CVerifyDlg dialog(services, log, *report);
        dialog.DoModal(owner.Handle());
    });
}

std::span<const MessageMapEntry<CVerifyDlg>> CVerifyDlg::MessageMap() {
    using T = CVerifyDlg;
    static const MessageMapEntry<T> kMessageMap[] = {
        OnCommand<T>(IDOK, &T::OnIgnoreKey),
        OnCommand<T>(IDCANCEL, &T::OnCancel),
        OnMessage<T>(kWmVerifyProgress, &T::OnProgress),
        OnMessage<T>(kWmVerifyFinished, &T::OnFinished),
    };
    return kMessageMap;
}

bool CVerifyDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetText(kCaption);
    Item(IDC_VERIFY_REPORT).SetText(m_reportPath);
    m_progress.Attach(Item(IDC_VERIFY_PROGRESS).Handle());
    m_progress.SetRange(0, kProgressMax);
    m_findings.Attach(Item(IDC_VERIFY_FINDINGS).Handle());
    m_findings.AddSelectAllKey();
    m_button = Item(IDCANCEL);
    // A worker that cannot be started is told as the fatal error; the dialog is left to be closed.
    if (!RunGuarded(m_log, m_services, __LINE__, [this] { m_verification.Start(m_reportPath); })) ShowOver();
    return true;
}

void CVerifyDlg::OnUncaughtException(std::exception_ptr error) {
    RunGuarded(m_log, m_services, __LINE__, [&] { std::rethrow_exception(error); });
}

// Enter (the dialog's default command) must not end the dialog under its worker.
void CVerifyDlg::OnIgnoreKey() {}

void CVerifyDlg::OnCancel() {
    if (!m_over) {
        m_verification.RequestAbort();  // the worker's end follows as at any other end
        return;
    }
    EndDialog(IDCANCEL);
}

void CVerifyDlg::OnProgress() { m_progress.SetPos(m_verification.Percent()); }

void CVerifyDlg::OnFinished() {
    ShowOver();
    RunGuarded(m_log, m_services, __LINE__, [this] {
        const ReportVerification& verification = m_verification.Finish();
        m_progress.SetPos(m_verification.Percent());
        m_findings.SetText(JoinLines(VerificationLines(verification)));
        const Verdict verdict = VerdictOf(verification);
        m_services.ShowNotice(kCaption, VerdictText(verdict), verdict == Verdict::Failed);
    });
}

void CVerifyDlg::ShowOver() {
    m_over = true;
    m_button.SetText(kButtonClose);
}

void CVerifyDlg::PostProgress() { Post(kWmVerifyProgress); }

void CVerifyDlg::PostFinished() { Post(kWmVerifyFinished); }
