// The output folder of one run, as the run owns it: a lock that keeps a second run out, and a
// journal (Tolvarenquista.journal) that names every file the run creates or renames, durably and
// before the file exists. So the run can prove which files are its own: cleanup removes those and
// never a name that merely looks like one. The report's rename is the run's commit point: once the
// report is in place the journal goes (Publish); a run that ends without its report removes its own
// files (Discard), and one that was killed leaves its journal, from which the next run into the
// folder removes them (Leftovers, Begin). Owned by the front end (checks) and the run's worker.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

extern const char kJournalName[];  // "Tolvarenquista.journal"

class COutputFolder {
public:
    using LockResult = platform::FolderLock::Result;  // Locked, Busy, Failed

    COutputFolder() = default;
    ~COutputFolder();
    COutputFolder(const COutputFolder&) = delete;
    COutputFolder& operator=(const COutputFolder&) = delete;

    // Takes folder for this run (until Release). Busy: another run uses it. Failed: *reason says
    // why (the system's words). Also reads the journal an earlier run left (see Leftovers); a
    // journal that cannot be read fails the lock with its reason.
    LockResult Lock(const std::string& folder, std::string* reason = nullptr);
    bool Locked() const { return m_lock.Held(); }
    const std::string& Folder() const { return m_folder; }
    // The names an earlier run that ended without its report left behind and that still exist:
    // Begin removes them. Its published files (its report was in place) are never among them.
    const std::vector<std::string>& Leftovers() const { return m_leftovers; }

    // On the worker, at the start of the run: removes the leftovers and the old journal, telling
    // each removed name to removed, then starts this run's journal (created new). Throws FileError.
    void Begin(const std::function<void(const std::string& name)>& removed);
    bool Journaling() const { return m_journal.IsOpen(); }

    // Names files of the folder as this run's before it creates or renames them (durable when this
    // returns). Throws FileError. Without a journal (a conversion outside a run) they do nothing.
    void Claim(const std::vector<std::string>& names);
    // Gives up the names again: files this run could not create or has deleted. They are given up
    // for this run even when the journal cannot say so (FileError).
    void Disown(const std::vector<std::string>& names);

    // The report is in place: the journal goes; everything the run wrote stays.
    void Publish();
    // The run ends without its report: removes every file it claimed that still exists, then the
    // journal, unless a file could not be removed (it then stays named for the next run). Each
    // removed or failed name is told; never throws.
    void Discard(const std::function<void(const std::string& text)>& tell) noexcept;

    // Ends the journal (if any is still open, it stays on the disk) and gives the folder free.
    void Release() noexcept;

    // True for the names a run may own: NNNNNNNNNNNNNN_NNN.CSV, NNNNNNNNNNNNNN_Result.txt,
    // NNNNNNNNNNNNNN_Result.sha256, and any of them with ".partial". Anything else in a journal is not ours.
    static bool IsRunFileName(const std::string& name);

private:
    void Append(const std::string& text);
    std::string PathOf(const std::string& name) const;

    std::string m_folder;
    platform::FolderLock m_lock;
    platform::File m_journal;
    std::vector<std::string> m_claimed;    // by this run, in order, without the disowned ones
    std::vector<std::string> m_leftovers;  // of an earlier run
    bool m_oldJournal = false;             // an earlier run's journal is in the folder
};
