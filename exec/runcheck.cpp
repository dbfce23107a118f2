#include "exec/runcheck.h"

#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "exec/exportstaging.h"
#include "exec/linesort.h"
#include "exec/runlog.h"
#include "base/failure.h"
#include "script/scriptlines.h"

#include <QFileInfo>
#include <QSet>

namespace rux {

namespace {

// A file the script exports to, with the first line of the first batch
// that names it.
struct ExportTarget
{
    QString file;
    int first;
};

[[noreturn]] void refuseLog(const QString &logName, const QString &what)
{
    throw Failure(QStringLiteral("The log file '%1' is %2: the run would write its records into it. "
                                 "Nothing was run.")
                      .arg(logName, what));
}

} // namespace

QString transactionWord(const QString &batchText)
{
    const QString word = firstWord(takeExportClause(batchText).sqlText);
    static const QStringList words = {
        QStringLiteral("begin"),    QStringLiteral("commit"),  QStringLiteral("end"),
        QStringLiteral("rollback"), QStringLiteral("savepoint"), QStringLiteral("release"),
        QStringLiteral("abort"),    QStringLiteral("start"),
    };
    return words.contains(word, Qt::CaseInsensitive) ? word : QString();
}

QString singleTransactionRefusal(const QString &batchText, int line, const QString &exportFile)
{
    if (holdsEditTable(batchText)) {
        return QStringLiteral("The script edits a table by hand (edit_table in line %1), which "
                              "--single-transaction cannot wait for: its open transaction would "
                              "keep every other program from writing. Nothing was run.")
            .arg(line);
    }
    const QString word = transactionWord(batchText);
    if (!word.isEmpty()) {
        return QStringLiteral("The batch in line %1 is a transaction statement (%2), which "
                              "--single-transaction cannot run: the whole run is one transaction, "
                              "committed at its end. Nothing was run.")
            .arg(line)
            .arg(word);
    }
    if (!exportFile.isEmpty() && isSpecialFile(exportFile)) {
        return QStringLiteral("The export file '%1' of the batch in line %2 is a device, a pipe "
                              "or a socket, which --single-transaction cannot write: what is "
                              "written there cannot be taken back. Nothing was run.")
            .arg(exportFile)
            .arg(line);
    }
    return QString();
}

void checkBeforeRun(const RunCheck &check)
{
    // The batches are cut as the run will cut them, one at a time: what is
    // kept of them is the files they export to and, in one transaction, the
    // first refusal. A script of many batches is never held twice.
    std::vector<ExportTarget> targets;
    QSet<QString> exportFiles;
    QString refusal;
    const auto look = [&](const CutBatch &cut) {
        QString exportFile = takeExportClause(cut.text).fileName;
        if (check.singleTransaction && refusal.isEmpty())
            refusal = singleTransactionRefusal(cut.text, cut.first + 1, exportFile);
        // Each file once, with the first batch that names it.
        if (!exportFile.isEmpty() && !exportFiles.contains(exportFile)) {
            exportFiles.insert(exportFile);
            targets.push_back(ExportTarget{std::move(exportFile), cut.first});
        }
    };
    BatchCutter cutter;
    const int count = check.editor->lineCount();
    for (int i = 0; i < count; ++i) {
        if (cutter.take(i, check.editor->line(i)) == LineKind::BatchEnd)
            look(cutter.batch());
    }
    if (cutter.finish())
        look(cutter.batch());

    // The log first: no other failure may be written into a file that is
    // the script or the database.
    if (RunLog *log = check.log) {
        const auto refuse = [log](const QString &what) {
            const QString name = log->fileName();
            log->refuse();
            refuseLog(name, what);
        };
        if (!check.scriptFile.isEmpty() && log->isFile(check.scriptFile))
            refuse(QStringLiteral("the script file"));
        if (!check.databaseFile.isEmpty() && log->isFile(check.databaseFile))
            refuse(QStringLiteral("the database file"));
        for (const ExportTarget &target : targets) {
            if (log->isFile(target.file))
                refuse(QStringLiteral("the export file of the batch in line %1").arg(target.first + 1));
        }
    }

    if (!refusal.isEmpty())
        throw Failure(refusal);

    if (check.log)
        check.log->release();

    // What killed runs left beside the export files.
    QSet<QString> folders;
    for (const ExportTarget &target : targets) {
        if (isSpecialFile(target.file))
            continue;
        const QFileInfo info(target.file);
        const QString folder = (info.exists() ? QFileInfo(info.canonicalFilePath()) : info).absolutePath();
        if (folders.contains(folder))
            continue;
        folders.insert(folder);
        for (const RecoveredExports &done : recoverExports(folder)) {
            if (check.log)
                check.log->leftover(done.folder, done.owner, done.committed, done.files);
        }
    }
}

} // namespace rux
