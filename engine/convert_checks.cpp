#include "engine/convert_checks.h"

#include <algorithm>

#include "base/mbcs.h"
#include "engine/messages.h"
#include "engine/output_files.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace {

constexpr std::size_t kBaseNameLength = 14;  // the claim files are named by fourteen digits
constexpr std::size_t kExtensionLength = 4;  // ".csv"

bool IsConvertibleName(const std::string& name) {
    return name.size() == kBaseNameLength + kExtensionLength &&
           AllDigits(std::string_view(name).substr(0, kBaseNameLength));
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
    // Regular files only: a FIFO, a device or a folder named like a claim file is no input (a FIFO
    // would hang the reading).
    std::vector<std::string> listed;
    ListFiles(folder, "*.csv", 0, listed, true);
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

bool UnderProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders) {
    // Leading bytes, not whole path components: "C:\Program Files (x86)" is refused by
    // "C:\Program Files" too.
    return std::ranges::any_of(protectedFolders, [&](const std::string& system) {
        return !system.empty() && EqualsIgnoreCase(folder.substr(0, system.size()), system);
    });
}

ConvertCheck CheckConvertRequest(const std::string& inputFolder, const std::string& outputFolder, InputFileStore& files,
                                 const std::vector<int>& checkStates, const std::vector<std::string>& protectedFolders,
                                 COutputFolder* lock) {
    if (inputFolder.empty()) return Refuse(kMsgFolderNotGiven, kPrefixInput);
    if (!platform::PathExists(inputFolder)) return Refuse(kMsgFolderMissing, kPrefixInput);
    if (outputFolder.empty()) return Refuse(kMsgFolderNotGiven, kPrefixOutput);
    if (!platform::PathExists(outputFolder)) return Refuse(kMsgFolderMissing, kPrefixOutput);
    // Byte for byte: folders that differ only in letter case do not count as the same.
    if (inputFolder == outputFolder) return Refuse(kMsgSameFolder);

    if (UnderProtectedFolder(outputFolder, protectedFolders)) return Refuse(kMsgProtectedFolder);

    std::vector<std::string> scanned = ScanInputFolder(inputFolder);
    if (scanned.empty()) return RefuseAndRefill(kMsgNoInputFiles, std::move(scanned));
    if (scanned.size() != files.names.size()) return RefuseAndRefill(kMsgListMismatch, std::move(scanned));
    for (const std::string& name : files.names) {
        if (std::find(scanned.begin(), scanned.end(), name) == scanned.end()) {
            return RefuseAndRefill(kMsgListMismatch, std::move(scanned));
        }
    }

    // One run per output folder: the lock is taken before the outputs are looked at, so that what
    // the checks see is what the run finds; a refusal from here on gives it back.
    const std::vector<std::string> none;
    const std::vector<std::string>* leftovers = &none;
    if (lock != nullptr) {
        std::string reason;
        switch (lock->Lock(outputFolder, &reason)) {
            case COutputFolder::LockResult::Busy: return Refuse(kMsgFolderBusy);
            case COutputFolder::LockResult::Failed: {
                ConvertCheck check = Refuse(kMsgFolderUnusable);
                check.text += "\n[" + outputFolder + "] (" + reason + ")";
                return check;
            }
            case COutputFolder::LockResult::Locked: break;
        }
        leftovers = &lock->Leftovers();
    }
    const auto refuseUnlocked = [&](int messageId) {
        if (lock != nullptr) lock->Release();
        return Refuse(messageId);
    };

    files.checks.clear();
    bool anyChecked = false;
    for (std::size_t row = 0; row < files.names.size(); ++row) {
        const int state = row < checkStates.size() ? checkStates[row] : 0;
        files.checks.push_back(state);
        if (state != 1) continue;
        const std::string& name = files.names[row];
        const std::string base = name.substr(0, name.size() - kExtensionLength);
        // Output names only ("_", digits, ".CSV": not the user's _bak.csv or _20240101 copies),
        // and not those a run that ended without its report left: the run removes them first.
        std::vector<std::string> existing;
        ListFiles(outputFolder, base + "_*.csv", 0, existing);
        for (const std::string& found : existing) {
            const bool leftover = std::any_of(leftovers->begin(), leftovers->end(),
                                              [&](const std::string& left) { return EqualsIgnoreCase(left, found); });
            if (COutputFiles::IsOutputName(base, found) && !leftover) return refuseUnlocked(kMsgOutputExists);
        }
        anyChecked = true;
    }
    if (!anyChecked) return refuseUnlocked(kMsgNoFileChosen);
    return ConvertCheck{};
}
