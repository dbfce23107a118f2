#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace rux {

// The export files of a run that may still be taken back. Each export is
// written to a file of its own beside its target (".rux_ppp-export-"
// followed by the owner mark of ownedfiles.h) and put in place of the
// target only when the run's changes are kept; when they are taken back,
// the staged files are removed and the targets stay as they were.
//
// A run killed before it put its files in place leaves them behind.
// Before its commit, a run in one transaction writes into each folder that
// holds staged files a list of them and their targets, and marks the list
// as committed right after the database's commit. recoverExports() then
// lets a later run finish what the killed one left: it places the files of
// a committed list and removes every other file of an ended run.
class ExportStaging
{
public:
    // What is done with a target that a rename cannot replace.
    enum class Direct {
        // Devices, pipes and sockets are refused: a write there cannot be
        // taken back.
        Refused,
        // Devices and pipes, and a file in a folder where no new file may
        // be made, are written directly: stage() returns an empty name.
        WhereNeeded,
    };

    explicit ExportStaging(Direct direct) : m_direct(direct) {}
    ~ExportStaging();
    ExportStaging(const ExportStaging &) = delete;
    ExportStaging &operator=(const ExportStaging &) = delete;

    // Creates the file the export to `target` is written to now, and
    // returns its name (empty: write the target itself). The target is
    // checked as writing it would: a folder, a file that may not be written
    // or a missing folder fails with the export's input/output texts. A
    // second export to the same target replaces the first.
    QString stage(const QString &target);
    // Writes the lists of staged files, before the database commits.
    // Throws Failure when a list cannot be written.
    void prepare();
    // The database has committed: the lists say so. Never throws; a list
    // that could not be marked leaves its files to be removed.
    void markCommitted() noexcept;
    // Puts every staged file in place of its target by a rename, and
    // removes the lists. Returns how many were put in place. Tries them
    // all; `failure` gets the text of the first that failed (empty when
    // none did).
    int commit(QString *failure);
    // Removes the staged files and the lists; returns how many files
    // there were.
    int discard() noexcept;
    int count() const { return int(m_staged.size()); }

private:
    struct Staged
    {
        QString target; // absolute, links followed
        QString file;
    };
    std::vector<Staged> m_staged;
    // The lists written by prepare(), one per folder.
    QStringList m_lists;
    Direct m_direct;
};

// The target is a device, a pipe or a socket (links followed): something
// a rename cannot replace. False when it does not exist.
bool isSpecialFile(const QString &target);

// What recoverExports() did with the files one ended run left in a folder.
struct RecoveredExports
{
    QString folder;
    QString owner;  // the owner mark of the run that left them
    bool committed; // its list was committed: the files were placed
    int files;      // the files placed, or removed
};

// Finishes, in `folder`, what runs that ended without tidying up left
// there: places the staged files of a committed list over their targets
// and removes every other staged file and list of an ended run.
QList<RecoveredExports> recoverExports(const QString &folder);

} // namespace rux
