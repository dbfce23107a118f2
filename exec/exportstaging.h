#pragma once

#include <QString>

#include <vector>

namespace rux {

// The export files of a run that may still be taken back. Each export is
// written to a file of its own beside its target and put in place of the
// target only when the run's changes are kept; when they are taken back,
// the staged files are removed and the targets stay as they were.
class ExportStaging
{
public:
    // What cannot be replaced by a rename.
    enum class Direct {
        // Devices and pipes get a staged file elsewhere, copied into them
        // at the commit.
        Never,
        // Devices and pipes, and a file in a folder where no new file may
        // be made, are written directly: stage() returns an empty name.
        WhereNeeded,
    };

    explicit ExportStaging(Direct direct = Direct::Never) : m_direct(direct) {}
    ~ExportStaging();
    ExportStaging(const ExportStaging &) = delete;
    ExportStaging &operator=(const ExportStaging &) = delete;

    // Creates the file the export to `target` is written to now, and
    // returns its name (empty: write the target itself). The target is
    // checked as writing it would: a folder, a file that may not be written
    // or a missing folder fails with the export's input/output texts. A second export to the same target
    // replaces the first.
    QString stage(const QString &target);
    // Puts every staged file in place of its target: renamed over a file,
    // copied into a device or a pipe. Returns how many were put in place.
    // Tries them all; `failure` gets the text of the first that failed
    // (empty when none did).
    int commit(QString *failure);
    // Removes the staged files; returns how many there were.
    int discard() noexcept;

private:
    struct Staged
    {
        QString target; // absolute, links followed
        QString file;
        bool copy = false;
    };
    std::vector<Staged> m_staged;
    Direct m_direct;
};

} // namespace rux
