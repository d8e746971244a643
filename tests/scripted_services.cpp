#include "tests/scripted_services.h"

#include <cerrno>
#include <system_error>

void ScriptedServices::AddAnswers(const std::vector<bool>& answers) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

void ScriptedServices::SetAnswerWhenOut(bool answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerWhenOut = answer;
}

void ScriptedServices::AddBrowseResult(std::optional<std::string> folder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_browseResults.push_back(std::move(folder));
}

void ScriptedServices::AddChosenFile(std::optional<std::string> path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_chosenFiles.push_back(std::move(path));
}

std::vector<ScriptedServices::Shown> ScriptedServices::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<ScriptedServices::Browsed> ScriptedServices::Browses() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_browses;
}

std::vector<ScriptedServices::Notice> ScriptedServices::Notices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notices;
}

std::vector<std::string> ScriptedServices::OpenedReports() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

std::vector<int> ScriptedServices::ExitCodes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitCodes;
}

int ScriptedServices::ThreadsStarted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threadsStarted;
}

bool ScriptedServices::ShowMessage(const std::string& text, MessageKind kind) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({text, kind});
    }
    if (kind != MessageKind::Question) return false;
    if (onQuestion) onQuestion(text);  // without the lock: the test reads meanwhile
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_answers.empty()) return m_answerWhenOut;
    const bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedServices::BrowseForFolder(const std::string& title, const std::string& initial,
                                                             bool newDialogStyle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_browses.push_back({title, initial, newDialogStyle});
    if (m_browseResults.empty()) return std::nullopt;
    std::optional<std::string> folder = m_browseResults.front();
    m_browseResults.pop_front();
    return folder;
}

std::optional<std::string> ScriptedServices::ChooseFile(const std::string&, const std::string&, const std::string&) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_chosenFiles.empty()) return std::nullopt;
    std::optional<std::string> path = m_chosenFiles.front();
    m_chosenFiles.pop_front();
    return path;
}

void ScriptedServices::ShowNotice(const std::string& caption, const std::string& text, bool warning) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notices.push_back({caption, text, warning});
}

void ScriptedServices::OpenReport(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(path);
    }
    if (onOpenReport) onOpenReport(path);
}

std::thread ScriptedServices::StartThread(std::function<void()> body) {
    if (failThreadStart) throw std::system_error(EAGAIN, std::generic_category(), "スレッドの起動");
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_threadsStarted;
    return std::thread([this, hold = holdThreads, body = std::move(body)] {
        if (hold) {
            std::unique_lock<std::mutex> wait(m_mutex);
            m_released.wait(wait, [this] { return m_threadsReleased; });
        }
        body();
        std::lock_guard<std::mutex> ended(m_mutex);
        ++m_threadsEnded;
    });
}

int ScriptedServices::ThreadsEnded() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threadsEnded;
}

void ScriptedServices::ReleaseThreads() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threadsReleased = true;
    }
    m_released.notify_all();
}

void ScriptedServices::EndProcess(int exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exitCodes.push_back(exitCode);
}
