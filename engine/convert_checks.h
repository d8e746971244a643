// The input-folder scan and the checks made before a run is started, in their fixed order, without
// any window: both the dialog and the command line use them.
#pragma once

#include <string>
#include <vector>

#include "engine/input_file_store.h"
#include "engine/output_folder.h"

// Names (upper-case, name order) of the convertible files of folder: "*.csv" entries whose name
// without its last four bytes is exactly fourteen digits. Where a file system tells letter case
// apart, two files may share one upper-cased name; neither can be told apart in the list, so both
// are left out, and their name is appended to ambiguous when it is given.
std::vector<std::string> ScanInputFolder(const std::string& folder, std::vector<std::string>* ambiguous = nullptr);

enum class CheckOutcome {
    Ready,          // every check passed: the run may be confirmed and started
    Refused,        // a check failed: show the message, nothing else changes
    RefusedRefill,  // the folder no longer matches the list: show the message, refill from scanned
};

struct ConvertCheck {
    CheckOutcome outcome = CheckOutcome::Ready;
    int messageId = 0;                 // the message of a failed check
    std::string text;                  // its full text (prefix included)
    std::vector<std::string> scanned;  // the scan, for a refill
};

// True when folder lies under one of protectedFolders (the system's folders): its leading bytes
// equal one of them without regard to case.
bool UnderProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders);

// Runs the checks of a convert command: the folder texts given and existing, not the same, the
// output not under a protected folder, the folder's files still those of the list, no output of a
// ticked file present, at least one row ticked. checkStates holds each row's check box (1 ticked);
// files.checks is rebuilt from it as the checks go. protectedFolders are compared by leading bytes.
// lock, when given, is the run's output folder: locked before the outputs are looked at (refused
// while another run uses it), and held when the checks pass, for the run to use.
ConvertCheck CheckConvertRequest(const std::string& inputFolder, const std::string& outputFolder, InputFileStore& files,
                                 const std::vector<int>& checkStates, const std::vector<std::string>& protectedFolders,
                                 COutputFolder* lock = nullptr);
