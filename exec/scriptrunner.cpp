#include "scriptrunner.h"

#include "adoquery.h"
#include "batchtext.h"
#include "exportfile.h"
#include "failure.h"
#include "linesort.h"
#include "rowsource.h"
#include "scriptlines.h"
#include "tableediting.h"

namespace rux {

namespace {

// The export reads the query's rows through its cursor operations.
class QueryRows : public RowSource
{
public:
    explicit QueryRows(AdoQuery &query) : m_query(query) {}
    void First() override { m_query.First(); }
    void Next() override { m_query.Next(); }
    bool Eof() override { return m_query.Eof(); }
    int fieldCount() override { return m_query.fieldCount(); }
    QString fieldName(int field) override { return m_query.fieldName(field); }
    QString asString(int field) override { return m_query.asString(field); }
    void appendAnsiText(int field, QByteArray &out) override { m_query.appendAnsiText(field, out); }
    void appendFieldsAnsi(const std::vector<int> &fields, QByteArray &out) override
    {
        m_query.appendFieldsAnsi(fields, out);
    }

private:
    AdoQuery &m_query;
};

} // namespace

void sql_execute(const RunContext &context)
{
    AdoQuery &query = *context.query;

    QString txtfilename;
    const ExportClause clause = takeExportClause(query.sqlText());
    if (clause.found) {
        query.sqlClear();
        query.sqlAdd(clause.sqlText);
        txtfilename = clause.fileName;
    }

    const QString text = query.sqlText();
    context.setDataChange(isDataChange(text));
    // The path follows the check box as it reads now, not the
    // classification kept in a variable.
    if (context.dataChange()) {
        if (holdsEditTable(text))
            context.tableEditing->editTable(editTableText(text));
        else
            query.ExecSQL();
    } else {
        query.Open();
    }

    if (!txtfilename.isEmpty()) {
        QueryRows rows(query);
        writeExportFile(txtfilename, rows);
    }
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

} // namespace

void runScript(const RunContext &context)
{
    context.clickSubstitute();
    AdoQuery &query = *context.query;
    query.Close();
    query.sqlClear();

    const int l = context.editor->lineCount();
    bool try_drop = false;
    // The first and the last statement line of the batch being collected.
    int first = -1;
    int last = -1;
    for (int i = 0; i < l; ++i) {
        const QString sqltxt = context.editor->line(i);
        switch (sortLine(sqltxt)) {
        case LineKind::Dropped:
        case LineKind::Empty:
        case LineKind::Comment:
            break;
        case LineKind::BatchEnd: {
            context.processEvents();
            RunningLines running(context, first < 0 ? i : first, i);
            first = last = -1;
            if (try_drop) {
                try_drop = false;
                try {
                    sql_execute(context);
                } catch (const Failure &) {
                    // A batch that mentions "drop" may fail without a word.
                }
            } else {
                sql_execute(context);
            }
            query.Close();
            query.sqlClear();
            break;
        }
        case LineKind::Statement:
            if (protectsBatch(sqltxt))
                try_drop = true;
            if (first < 0)
                first = i;
            last = i;
            query.sqlAdd(sqltxt);
            break;
        }
    }
    if (!query.sqlText().isEmpty()) {
        RunningLines running(context, first, last);
        sql_execute(context);
    }
}

} // namespace rux
