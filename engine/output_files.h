// The output files of one input while it is converted. Each is written under a temporary name
// beside its final one (20080423120000_001.CSV.partial), which neither the check for existing
// outputs nor the deletion pattern can match; only when the input's last record is written does
// Commit give all of them their final names. So a file under a final name is always complete.
// Used by the worker thread of a run alone.
#pragma once

#include <cstdint>
#include <string>

// The suffix of an output file that is still being written.
extern const char kPartialSuffix[];  // ".partial"

class COutputFiles {
public:
    // folder: the output folder; base: the input's name without its extension.
    COutputFiles(std::string folder, std::string base);

    // "%s_%03d.CSV": 20080423120000_001.CSV, ..._999.CSV, ..._1000.CSV.
    static std::string FinalName(const std::string& base, std::int64_t number);
    std::string FinalPath(std::int64_t number) const;
    // Where output number is written: its temporary path, except for a first file that already
    // existed under its final name when the input started, which is continued where it is.
    std::string WritePath(std::int64_t number) const;

    // Removes what an interrupted run left of this input, then looks whether the first output
    // exists under its final name (it appeared after the checks) and is to be continued. A
    // temporary file of the input means that its final names, if any, are an incomplete set (a
    // run killed while it renamed them): they go too. Throws FileError when one cannot be deleted.
    void Prepare();
    // True when a temporary file of the input base is in folder: a run of it was interrupted, and
    // the input's final names there are leftovers of that run, not a finished submission.
    static bool Interrupted(const std::string& folder, const std::string& base);
    bool ContinuesFirst() const { return m_continuesFirst; }

    // Gives outputs 1 to count their final names, in order, then makes the names durable. The
    // empty text on success; else the path that could not be renamed (its final name) or synced
    // (the folder).
    std::string Commit(std::int64_t count);

    // Deletes every output of this input: the final names of the deletion pattern, four-digit
    // names up to count, and the temporary files. Throws FileError at the first that cannot go.
    void DeleteAll(std::int64_t count);

private:
    std::string m_folder;
    std::string m_base;
    bool m_continuesFirst = false;
};
