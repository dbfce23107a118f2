#pragma once

#include <QString>

namespace rux {

class RunLog;
class ScriptLines;

// The statement that stands first in a batch text begins or ends a
// transaction or a savepoint (BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT,
// RELEASE, ABORT, START TRANSACTION; any case, after blanks and comments).
// Returns that word as written, empty when it does not.
QString transactionWord(const QString &batchText);

// Why a run in one transaction refuses a batch (its text as cut, the
// batch's first line counted from 1, the file of its "totxt", empty
// without one): it edits a table by hand, it is a transaction statement of
// its own, or it exports to a device, a pipe or a socket. The refusal's
// text, which names the line; empty when the batch may run in one
// transaction.
QString singleTransactionRefusal(const QString &batchText, int line, const QString &exportFile);

// What a run makes sure of before anything runs, on the script as the
// substitution left it. Each check throws Failure with a text naming the
// line or the file; nothing has been written then.
struct RunCheck
{
    const ScriptLines *editor = nullptr;
    RunLog *log = nullptr;
    QString scriptFile;   // the loaded script's file, empty when none
    QString databaseFile; // the database's file, empty for a server
    bool singleTransaction = false;
};

// Refuses, in one transaction, a table editing, a transaction statement
// and an export to a device, a pipe or a socket; in every run, a log that
// is the script, the database or an export file. Then finishes what runs
// killed earlier left beside the export files (exportstaging.h), and
// writes to the log what it did.
void checkBeforeRun(const RunCheck &check);

} // namespace rux
