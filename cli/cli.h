// The command-line front end, driving the dialog's engine: the commands list, convert, ref, check, verify
// and selftest (kCommands in cli.cpp says what each does). RunCli is the whole program but for the process
// boundary (argument decoding, console output, Ctrl-C), which main supplies, so that tests run it in-process.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/clock.h"

// Exit statuses.
enum CliExit : int {
    kExitOk = 0,          // report written and every file normal
    kExitFileErrors = 1,  // report written; some file had a record error or no data
    kExitRefused = 2,     // a check failed before anything was converted
    kExitFailed = 3,      // a file could not be opened, created or written, or an unexpected error
    kExitAborted = 4,     // aborted with Ctrl-C
    kExitUsage = 64,      // the command line itself is wrong
};

inline constexpr char kProgramName[] = "tolvarenquista";

struct CliContext {
    std::string program = kProgramName;  // as the usage and the messages name the program
    // Where texts go: code page 932, the caller converts to the terminal's encoding.
    std::function<void(platform::Stream, const std::string&)> write;
    bool errIsTerminal = false;
    IClock* clock = &SystemClock();
    std::vector<std::string> protectedFolders;
    std::string defaultLogFolder;
};

// The name the program was started by: the last part of argv0 without ".exe" (kProgramName when empty).
std::string ProgramName(const std::string& argv0);

// Runs one command; args without the program name, code page 932. Returns the exit status.
int RunCli(std::vector<std::string> args, CliContext& context);

// Ctrl-C: the running conversion is aborted at its next record, its outputs deleted. Safe to call
// from a signal handler or another thread. False when no conversion runs: the interrupt then ends
// the process as usual (nothing has been written yet).
bool RequestInterrupt();
// Forgets an earlier interrupt (for a new in-process run).
void ResetInterrupt();
