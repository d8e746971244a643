// The per-row data behind the file list: the input folder and, indexed by row, the file names, the
// status codes and results of the last run, and the check snapshot taken when the run was started.
// Filled by the driver on its own thread; during a run only the worker writes statuses and results.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_status.h"

struct InputFileStore {
    std::string folder;                  // without a trailing separator
    std::vector<std::string> names;      // upper-case, row order
    std::vector<std::int32_t> statuses;  // FileStatus codes, appended by the run
    std::vector<FileResult> results;     // appended by the run
    std::vector<std::int32_t> checks;    // not 0 for a ticked row

    void Clear() { *this = InputFileStore(); }
};
