#pragma once

#include "exec/rowsource.h"

#include <QString>

#include <functional>
#include <memory>

namespace rux {

// Writes the rows of an open result to a text file, the export of a batch
// with "totxt <file name>".
//
// One line per row, from the first row on: for every field whose name,
// lower-cased over A to Z, is not "ix", its AsString and four blanks; each
// line ends with CR LF. The rows are walked First, then body and Next until
// Eof, with the test after the body, so a result without rows still gives
// one line. Text is encoded in Windows-1252 with "?" for what it lacks, no
// byte-order mark.
//
// The file is created, or emptied when it exists; the name is used as given
// (a relative name is taken against the current directory). A name longer
// than 259 characters fails before anything is created.
//
// Failures: a file operation that fails throws Failure with the
// input/output message of ioerror.h; a Failure thrown by the rows
// propagates unchanged. In every case the file is closed before the
// failure leaves, holding the complete lines written before it.
//
// `writeTo`, when given, is the file actually written (a staged file that
// replaces `fileName` later); the name checks apply to `fileName`.
// Returns the number of rows written (0 for a result without rows, whose
// one line is empty).
qint64 writeExportFile(const QString &fileName, RowSource &rows, const QString &writeTo = QString());

// The export file, opened before the batch's statement runs, so that a
// file that cannot be written fails the batch before it changes anything
// and a pipe without a reader is waited for while no statement holds the
// database.
class ExportFile
{
public:
    // Opens `writeTo` (empty: `fileName` itself) as writeExportFile()
    // does. A pipe is opened without blocking: a program reading it gets
    // kPipeReaderWaitMs to appear, and the export then fails naming the
    // pipe. `waiting` is called while it waits, for a pipe's reader or
    // for room in a pipe; it may throw to end the wait (a stop).
    ExportFile(const QString &fileName, const QString &writeTo, std::function<void()> waiting = {});
    ~ExportFile();
    ExportFile(const ExportFile &) = delete;
    ExportFile &operator=(const ExportFile &) = delete;

    // Writes the rows and closes the file; as writeExportFile().
    qint64 write(RowSource &rows);

private:
    class Fd;
    std::unique_ptr<Fd> m_fd;
};

// Fails as the export does for a name it never takes (too long).
void checkExportFileName(const QString &fileName);

// How long an export waits for a program to read the pipe it names.
constexpr int kPipeReaderWaitMs = 10000;

// The longest file name the export accepts, in UTF-16 code units.
constexpr int kMaxExportNameLength = 259;

} // namespace rux
