#include "engine/convert_checks.h"

#include <algorithm>

#include "engine/messages.h"
#include "engine/output_files.h"
#include "base/mbcs.h"
#include "support/paths.h"

namespace {

constexpr std::size_t kBaseNameLength = 14;  // the claim files are named by fourteen digits
constexpr std::size_t kExtensionLength = 4;  // ".csv"

bool IsConvertibleName(const std::string& name) {
    if (name.size() != kBaseNameLength + kExtensionLength) return false;
    return std::all_of(name.begin(), name.begin() + kBaseNameLength, [](char c) { return c >= '0' && c <= '9'; });
}

ConvertCheck Refuse(int messageId, const std::string& prefix = "") {
    ConvertCheck check;
    check.outcome = CheckOutcome::Refused;
    check.messageId = messageId;
    check.text = prefix + LoadMessage(messageId);
    return check;
}

ConvertCheck RefuseAndRefill(int messageId, std::vector<std::string> scanned) {
    ConvertCheck check = Refuse(messageId);
    check.outcome = CheckOutcome::RefusedRefill;
    check.scanned = std::move(scanned);
    return check;
}

}  // namespace

std::vector<std::string> ScanInputFolder(const std::string& folder, std::vector<std::string>* ambiguous) {
    std::vector<std::string> listed;
    ListFiles(folder, "*.csv", 0, listed);
    // The listing is in upper-cased name order, so names that differ only in case are neighbours.
    std::vector<std::string> names;
    for (std::size_t i = 0; i < listed.size();) {
        std::size_t same = i + 1;
        while (same < listed.size() && listed[same] == listed[i]) ++same;
        if (IsConvertibleName(listed[i])) {
            if (same - i == 1) {
                names.push_back(listed[i]);
            } else if (ambiguous != nullptr) {
                ambiguous->push_back(listed[i]);
            }
        }
        i = same;
    }
    return names;
}

ConvertCheck CheckConvertRequest(const std::string& inputFolder, const std::string& outputFolder,
                                 InputFileStore& files, const std::vector<int>& checkStates,
                                 const std::vector<std::string>& protectedFolders) {
    if (inputFolder.empty()) return Refuse(kMsgFolderNotGiven, kPrefixInput);
    if (!FileExists(inputFolder)) return Refuse(kMsgFolderMissing, kPrefixInput);
    if (outputFolder.empty()) return Refuse(kMsgFolderNotGiven, kPrefixOutput);
    if (!FileExists(outputFolder)) return Refuse(kMsgFolderMissing, kPrefixOutput);
    // Byte for byte: folders that differ only in letter case do not count as the same.
    if (inputFolder == outputFolder) return Refuse(kMsgSameFolder);

    // Leading bytes, not whole path components: "C:\Program Files (x86)" is refused by
    // "C:\Program Files" too.
    for (const std::string& folder : protectedFolders) {
        if (folder.empty()) continue;
        if (EqualsIgnoreCase(outputFolder.substr(0, folder.size()), folder)) return Refuse(kMsgProtectedFolder);
    }

    std::vector<std::string> scanned = ScanInputFolder(inputFolder);
    if (scanned.empty()) return RefuseAndRefill(kMsgNoInputFiles, std::move(scanned));
    if (scanned.size() != files.names.size()) return RefuseAndRefill(kMsgListMismatch, std::move(scanned));
    for (const std::string& name : files.names) {
        if (std::find(scanned.begin(), scanned.end(), name) == scanned.end()) {
            return RefuseAndRefill(kMsgListMismatch, std::move(scanned));
        }
    }

    files.checks.clear();
    bool anyChecked = false;
    for (std::size_t row = 0; row < files.names.size(); ++row) {
        const int state = row < checkStates.size() ? checkStates[row] : 0;
        files.checks.push_back(state);
        if (state != 1) continue;
        const std::string& name = files.names[row];
        const std::string base = name.substr(0, name.size() - kExtensionLength);
        std::vector<std::string> existing;
        ListFiles(outputFolder, base + "_???.csv", 0, existing);
        // Outputs beside a temporary file of the same input were left by a run that was killed
        // before it finished them: the conversion replaces them, so they do not count.
        if (!existing.empty() && !COutputFiles::Interrupted(outputFolder, base)) return Refuse(kMsgOutputExists);
        anyChecked = true;
    }
    if (!anyChecked) return Refuse(kMsgNoFileChosen);
    return ConvertCheck{};
}
