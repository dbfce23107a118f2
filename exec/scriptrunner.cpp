#include "exec/scriptrunner.h"

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "exec/exportfile.h"
#include "exec/exportstaging.h"
#include "exec/linesort.h"
#include "exec/runcheck.h"
#include "exec/rowsource.h"
#include "exec/runlog.h"
#include "exec/runstop.h"
#include "exec/tableediting.h"
#include "base/failure.h"
#include "script/scriptlines.h"

#include <QElapsedTimer>

#include <optional>

namespace rux {

namespace {

// The run was asked to stop: throws RunStopped, in or right before the
// batch at script line `line`.
void checkStopAt(const RunContext &context, int line)
{
    if (context.stop)
        context.stop->checkAt(line);
}

// The export reads the query's rows through its cursor operations. A stop
// asked for while they are written ends the export at the next row, also
// when the rows come from memory and no statement is left to interrupt.
class QueryRows : public RowSource
{
public:
    QueryRows(AdoQuery &query, const RunContext &context, int line) : m_query(query), m_context(context), m_line(line)
    {
    }
    void First() override { m_query.First(); }
    void Next() override
    {
        m_query.Next();
        checkStopAt(m_context, m_line);
    }
    bool Eof() override { return m_query.Eof(); }
    int fieldCount() override { return m_query.fieldCount(); }
    QString fieldName(int field) override { return m_query.fieldName(field); }
    QString asString(int field) override { return m_query.asString(field); }
    void appendAnsiText(int field, QByteArray &out) override { m_query.appendAnsiText(field, out); }
    void appendFieldsAnsi(const std::vector<int> &fields, QByteArrayView separator, QByteArray &out) override
    {
        m_query.appendFieldsAnsi(fields, separator, out);
    }

private:
    AdoQuery &m_query;
    const RunContext &m_context;
    int m_line;
};

} // namespace

void sql_execute(const RunContext &context, BatchRecord *record, ExportStaging *staging)
{
    AdoQuery &query = *context.query;
    BatchRecord unrecorded;
    BatchRecord &done = record ? *record : unrecorded;

    QString txtfilename;
    const BatchReading reading = readBatch(query.sqlText());
    const ExportClause &clause = reading.exportClause;
    if (clause.found) {
        query.sqlClear();
        query.sqlAdd(clause.sqlText);
        txtfilename = clause.fileName;
    }

    context.setDataChange(reading.path != BatchPath::ResultSet);
    // The path follows the check box as it reads now, not the
    // classification kept in a variable.
    const bool dataChange = context.dataChange();
    const bool editing = dataChange && reading.editTableAt >= 0;
    done.path = batchPathName(editing      ? BatchPath::TableEditing
                              : dataChange ? BatchPath::DataChange
                                           : BatchPath::ResultSet);

    // The export file is opened before the statement runs: one that
    // cannot be written fails the batch before it changes anything, and a
    // pipe is waited for while no statement holds the database.
    std::optional<ExportFile> exportFile;
    if (!txtfilename.isEmpty()) {
        done.exportFile = txtfilename;
        checkExportFileName(txtfilename);
        exportFile.emplace(txtfilename, staging ? staging->stage(txtfilename) : QString(),
                           [&context, &done]() { checkStopAt(context, done.line); });
    }

    if (editing) {
        const QString &table = reading.table;
        done.table = table.trimmed();
        context.tableEditing->editTable(table);
        // The user may have stopped the run while it waited.
        checkStopAt(context, done.line);
    } else if (dataChange) {
        query.ExecSQL();
        done.rows = query.rowsAffected();
    } else {
        query.Open();
    }

    if (!txtfilename.isEmpty()) {
        QueryRows rows(query, context, done.line);
        done.exportRows = exportFile->write(rows);
    }
    if (query.active())
        done.rows = query.rowsRead();
}

namespace {

// Tells the window which lines run, and that they have stopped running
// however the batch ends.
class RunningLines
{
public:
    RunningLines(const RunContext &context, int first, int last) : m_context(context)
    {
        if (m_context.batchRuns)
            m_context.batchRuns(first, last);
    }
    ~RunningLines()
    {
        if (m_context.batchRuns)
            m_context.batchRuns(-1, -1);
    }
    RunningLines(const RunningLines &) = delete;
    RunningLines &operator=(const RunningLines &) = delete;

private:
    const RunContext &m_context;
};

// The run's one transaction: begun before the first batch, committed after
// the last; taken back, with the staged export files, when the run fails.
class RunTransaction
{
public:
    RunTransaction(AdoConnection &connection, RunLog *log) : m_connection(connection), m_log(log)
    {
        m_connection.beginWriting();
        m_open = true;
    }
    ~RunTransaction() { rollback(); }
    RunTransaction(const RunTransaction &) = delete;
    RunTransaction &operator=(const RunTransaction &) = delete;

    ExportStaging *staging() { return &m_staging; }

    // Runs a protected batch in a savepoint. Returns the failure it
    // dropped, a null text when it succeeded.
    QString runProtected(const std::function<void()> &batch)
    {
        m_connection.runControl(QStringLiteral("SAVEPOINT rux_protected_batch"));
        try {
            batch();
        } catch (const RunStopped &) {
            throw;
        } catch (const Failure &failure) {
            // Some failures (a full disk, say) make the engine take back
            // the whole transaction: nothing is left to go on with.
            if (!m_connection.inTransaction())
                throw Failure(failure.text()
                              + QStringLiteral(" (the engine took back the run's transaction)"));
            m_connection.runControl(QStringLiteral("ROLLBACK TO SAVEPOINT rux_protected_batch"));
            m_connection.runControl(QStringLiteral("RELEASE SAVEPOINT rux_protected_batch"));
            return failure.text();
        }
        m_connection.runControl(QStringLiteral("RELEASE SAVEPOINT rux_protected_batch"));
        return QString();
    }

    // A batch of the script may itself end the transaction (COMMIT,
    // ROLLBACK): what follows could not be taken back, so the run stops.
    void checkOpen(int line) const
    {
        if (!m_connection.inTransaction())
            throw Failure(QStringLiteral("The batch in line %1 ended the run's single transaction (a COMMIT "
                                         "or ROLLBACK in the script); the run stops here.")
                              .arg(line));
    }

    // The lists of the staged exports are written before the database
    // commits and marked right after it, and the log tells of the commit
    // before the first export is put in place: a run killed on the way
    // leaves what a later run needs to finish placing them.
    void commit()
    {
        m_staging.prepare();
        m_connection.runControl(QStringLiteral("COMMIT"));
        m_open = false;
        m_staging.markCommitted();
        if (m_log)
            m_log->transaction(QStringLiteral("committed"), m_staging.count());
        QString failure;
        m_staging.commit(&failure);
        if (!failure.isEmpty())
            throw Failure(failure);
    }

    void rollback() noexcept
    {
        if (!m_open)
            return;
        m_open = false;
        try {
            if (m_connection.connected() && m_connection.inTransaction())
                m_connection.runControl(QStringLiteral("ROLLBACK"));
        } catch (...) {
            // The engine ends the transaction with the connection, without
            // keeping anything, when the rollback itself cannot be sent.
        }
        const int removed = m_staging.discard();
        if (m_log)
            m_log->transaction(QStringLiteral("rolled_back"), removed);
    }

private:
    AdoConnection &m_connection;
    RunLog *m_log;
    ExportStaging m_staging{ExportStaging::Direct::Refused};
    bool m_open = false;
};

// Puts the export files of a batch in place.
void placeExports(ExportStaging &exports)
{
    QString failure;
    exports.commit(&failure);
    if (!failure.isEmpty())
        throw Failure(failure);
}

// Runs the batch held in the query, lines `first` to `last`, and writes its
// record to the log. A protected batch's failure is dropped.
void runBatch(const RunContext &context, int first, int last, bool protect, RunTransaction *transaction)
{
    RunningLines running(context, first, last);
    BatchRecord record;
    record.line = first + 1;
    QElapsedTimer clock;
    clock.start();
    // Outside a transaction the batch's exports are put in place as soon
    // as it has succeeded; until then they wait beside their targets.
    std::optional<ExportStaging> batchExports;
    if (!transaction)
        batchExports.emplace(ExportStaging::Direct::WhereNeeded);
    ExportStaging *staging = transaction ? transaction->staging() : &*batchExports;
    const auto execute = [&]() {
        try {
            sql_execute(context, &record, staging);
            if (batchExports)
                placeExports(*batchExports);
        } catch (const RunStopped &) {
            throw;
        } catch (const Failure &) {
            // A statement interrupted by the stop fails with the engine's
            // words; the run ends as stopped.
            checkStopAt(context, record.line);
            throw;
        }
    };
    try {
        if (protect && transaction) {
            record.silenced = transaction->runProtected(execute);
        } else if (protect) {
            try {
                execute();
            } catch (const RunStopped &) {
                throw;
            } catch (const Failure &failure) {
                // A batch that mentions "drop" may fail without a word.
                record.silenced = failure.text();
            }
        } else {
            execute();
        }
        if (transaction)
            transaction->checkOpen(record.line);
    } catch (const Failure &failure) {
        record.failed = failure.text();
        record.ms = clock.elapsed();
        if (context.batchEnded)
            context.batchEnded(record);
        if (context.log) {
            try {
                context.log->batch(record);
            } catch (const Failure &) {
                // The run's own failure is the one reported.
            }
        }
        throw;
    }
    record.ms = clock.elapsed();
    if (context.batchEnded)
        context.batchEnded(record);
    if (context.log)
        context.log->batch(record);
}

} // namespace

void runScript(const RunContext &context)
{
    context.clickSubstitute();
    if (context.stop)
        context.stop->checkInSubstitution();
    AdoQuery &query = *context.query;
    query.Close();
    query.sqlClear();

    RunCheck check;
    check.editor = context.editor;
    check.log = context.log;
    check.scriptFile = context.scriptFile;
    check.databaseFile = context.databaseFile;
    check.singleTransaction = context.singleTransaction;
    checkBeforeRun(check);

    std::optional<RunTransaction> transaction;
    if (context.singleTransaction) {
        AdoConnection &connection = *query.connection();
        connection.ensureOpen();
        if (connection.readOnlyText().isEmpty())
            transaction.emplace(connection, context.log);
    }
    RunTransaction *const inTransaction = transaction ? &*transaction : nullptr;

    // The batches are cut as the lines are reached: a table editing may
    // wait while the user changes lines further down.
    const int l = context.editor->lineCount();
    BatchCutter cutter(BatchCutter::Text::Dropped);
    for (int i = 0; i < l; ++i) {
        const QString sqltxt = context.editor->line(i);
        switch (cutter.take(i, sqltxt)) {
        case LineKind::Dropped:
        case LineKind::Empty:
        case LineKind::Comment:
            break;
        case LineKind::BatchEnd: {
            context.processEvents();
            const CutBatch &batch = cutter.batch();
            checkStopAt(context, batch.first + 1);
            runBatch(context, batch.first, batch.goLine, batch.protect, inTransaction);
            query.Close();
            query.sqlClear();
            break;
        }
        case LineKind::Statement:
            query.sqlAdd(sqltxt);
            break;
        }
    }
    if (cutter.finish()) {
        const CutBatch &batch = cutter.batch();
        checkStopAt(context, batch.first + 1);
        runBatch(context, batch.first, batch.last, batch.protect, inTransaction);
    }
    if (transaction) {
        if (context.stop)
            context.stop->checkBeforeCommit();
        transaction->commit();
    }
}

} // namespace rux
