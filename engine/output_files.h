// The output files of one input while it is converted. Each is written under a temporary name
// beside its final one (20080423120000_001.CSV.partial), created new (never through a link, never
// over anything), and named in the run's journal before it exists; only when the input's last
// record is written does Commit give all of them their final names, none of which may be taken.
// So a file under a final name is always complete, and cleanup deletes exactly the files this
// object made. Used by the worker thread of a run alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/checksum_manifest.h"

class COutputFolder;

// The suffix of an output file that is still being written.
extern const char kPartialSuffix[];  // ".partial"

class COutputFiles {
public:
    // folder: the output folder; base: the input's name without its extension; journal: the run's
    // (nullptr outside a run: nothing is journaled).
    COutputFiles(std::string folder, std::string base, COutputFolder* journal = nullptr);

    // "%s_%03d.CSV": 20080423120000_001.CSV, ..._999.CSV, ..._1000.CSV.
    static std::string FinalName(const std::string& base, std::int64_t number);
    std::string FinalPath(std::int64_t number) const;
    // Where output number is written: its temporary path.
    std::string WritePath(std::int64_t number) const;
    // True for a name of an output of base ("_" and three digits, or four without a leading zero,
    // then ".CSV"; letters in any case).
    static bool IsOutputName(const std::string& base, const std::string& name);

    // Names output number's temporary file in the journal, before it is created. Throws FileError.
    void Claim(std::int64_t number);
    // The create of output number failed: it is not ours (it may be another's file).
    void Disown(std::int64_t number);
    // Output number's temporary file exists and is ours.
    void Created(std::int64_t number);
    // Output number is complete and its bytes have this SHA-256.
    void Written(std::int64_t number, const Sha256Digest& digest);
    // The final names and digests of the outputs told Written, in order.
    const std::vector<ManifestEntry>& Digests() const { return m_digests; }

    // Gives the outputs their final names, in order, then makes the names durable. The empty text
    // on success; else the path that could not be renamed (its final name) or synced (the folder),
    // with the system's reason in *reason.
    std::string Commit(std::string* reason = nullptr);

    // Deletes every output this object made, under whichever name it has. Throws FileError at the
    // first that cannot go (the rest stay named in the journal).
    void DeleteAll();

private:
    // The final names of the outputs created and not yet renamed, in order.
    std::vector<std::string> UncommittedNames() const;

    std::string m_folder;
    std::string m_base;
    COutputFolder* m_journal;
    std::vector<std::int64_t> m_created;  // outputs whose temporary file exists and is ours
    std::size_t m_committed = 0;          // of m_created, those renamed (a prefix)
    std::vector<ManifestEntry> m_digests;
};
