#include "exec/scriptcheck.h"

#include "db/engines.h"
#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "exec/cmdline.h"
#include "exec/exportfile.h"
#include "exec/runcheck.h"
#include "exec/runlog.h"
#include "script/discovery.h"
#include "script/failure.h"
#include "script/linestore.h"
#include "script/memorycells.h"
#include "script/substitution.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <vector>

namespace rux {

namespace {

// A failure the run would meet; batch 0 and line 0: before the batches.
struct Finding
{
    int batch = 0;
    int line = 0;
    QString reason;
    bool silenced = false;
};

QString engineName(EngineKind kind)
{
    switch (kind) {
    case EngineKind::Postgres:
        return QStringLiteral("postgres");
    case EngineKind::Access:
        return QStringLiteral("access");
    case EngineKind::Sqlite:
        break;
    }
    return QStringLiteral("sqlite");
}

// Whether a statement returns rows, told by its first word where no parser
// can tell: words whose statements never return rows, and words whose
// statements always do. Any other word leaves it unknown.
OfflineReading::Rows rowsByFirstWord(const QString &sqlText)
{
    static const QStringList never = {
        QStringLiteral("abort"),      QStringLiteral("alter"),    QStringLiteral("analyse"),
        QStringLiteral("analyze"),    QStringLiteral("attach"),   QStringLiteral("begin"),
        QStringLiteral("checkpoint"), QStringLiteral("cluster"),  QStringLiteral("comment"),
        QStringLiteral("commit"),     QStringLiteral("create"),   QStringLiteral("deallocate"),
        QStringLiteral("detach"),     QStringLiteral("discard"),  QStringLiteral("do"),
        QStringLiteral("drop"),       QStringLiteral("end"),      QStringLiteral("grant"),
        QStringLiteral("listen"),     QStringLiteral("lock"),     QStringLiteral("notify"),
        QStringLiteral("prepare"),    QStringLiteral("refresh"),  QStringLiteral("reindex"),
        QStringLiteral("release"),    QStringLiteral("reset"),    QStringLiteral("revoke"),
        QStringLiteral("rollback"),   QStringLiteral("savepoint"), QStringLiteral("set"),
        QStringLiteral("start"),      QStringLiteral("truncate"), QStringLiteral("unlisten"),
        QStringLiteral("vacuum"),
    };
    static const QStringList always = {
        QStringLiteral("explain"), QStringLiteral("select"), QStringLiteral("show"),
        QStringLiteral("table"),   QStringLiteral("values"),
    };
    const QString word = firstWord(sqlText);
    if (never.contains(word, Qt::CaseInsensitive))
        return OfflineReading::Rows::No;
    if (always.contains(word, Qt::CaseInsensitive))
        return OfflineReading::Rows::Yes;
    return OfflineReading::Rows::Unknown;
}

QString rowsName(OfflineReading::Rows rows)
{
    switch (rows) {
    case OfflineReading::Rows::Yes:
        return QStringLiteral("yes");
    case OfflineReading::Rows::No:
        return QStringLiteral("no");
    case OfflineReading::Rows::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

// Why the export file cannot be opened, as the run finds out before the
// batch's statement runs (the name, the target, its folder, taken against
// the current directory as the run takes it); empty when it can be.
QString exportFileRefusal(const QString &fileName)
{
    try {
        checkExportFileName(fileName);
    } catch (const Failure &failure) {
        return QStringLiteral("The export file name '%1' is longer than %2 characters (%3)")
            .arg(fileName)
            .arg(kMaxExportNameLength)
            .arg(failure.text());
    }
    const QFileInfo target(QFileInfo(fileName).absoluteFilePath());
    if (target.isDir())
        return QStringLiteral("The export file '%1' is a folder").arg(fileName);
    if (target.exists())
        return QString();
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return QStringLiteral("The folder '%1' of the export file '%2' does not exist").arg(folder.filePath(), fileName);
    if (!folder.isDir())
        return QStringLiteral("The folder '%1' of the export file '%2' is not a folder").arg(folder.filePath(), fileName);
    return QString();
}

// The parameter names that stand in each line before the substitution, by
// the loading's name rule; only lines that hold a "$" are listed.
QHash<int, QStringList> namesByLine(const LineStore &lines)
{
    QHash<int, QStringList> names;
    const int count = lines.lineCount();
    for (int i = 0; i < count; ++i) {
        if (!lines.lineHolds(i, u'$'))
            continue;
        const QString line = lines.line(i);
        QStringList &found = names[i];
        for (qsizetype at = line.indexOf(u'$'); at >= 0; at = line.indexOf(u'$', at + 1))
            found.append(takeParameterName(line, int(at) + 1));
    }
    return names;
}

// A name the substitution fills: a row in use has a value, and a name the
// name begins with, in any letter case (each row's name is replaced
// wherever it stands, ignoring case).
bool isFilled(const QString &name, const ParamCells &grid, int rows)
{
    for (int r = 1; r <= rows; ++r) {
        const QString rowName = grid.cell(0, r);
        if (!rowName.isEmpty() && !grid.cell(1, r).isEmpty() && name.startsWith(rowName, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// What the check goes through for one batch.
class BatchCheck
{
public:
    BatchCheck(int number, const CutBatch &cut, EngineKind engine) : m_number(number), m_cut(cut), m_engine(engine) {}

    // The failures a run meets in the batch, in the order it meets them.
    void findFailures(bool singleTransaction, std::vector<Finding> &findings)
    {
        m_reading = readBatch(m_cut.text);
        const ExportClause &clause = m_reading.exportClause;
        const auto fail = [&](int line, const QString &reason, bool silenceable = true) {
            findings.push_back(Finding{m_number, line + 1, reason, silenceable && m_cut.protect});
        };

        // A run in one transaction refuses the script before anything runs.
        if (singleTransaction) {
            const QString refusal = singleTransactionRefusal(m_cut.text, m_cut.first + 1, clause.fileName);
            if (!refusal.isEmpty())
                fail(m_cut.first, refusal, false);
        }
        if (m_cut.isEmpty()) {
            m_rows = OfflineReading::Rows::No;
            fail(m_cut.goLine, QStringLiteral("A \"go\" with no statement line before it"));
            return;
        }
        if (!clause.fileName.isEmpty()) {
            const QString refusal = exportFileRefusal(clause.fileName);
            if (!refusal.isEmpty())
                fail(m_cut.lineAt(clause.at), refusal);
        }
        if (m_reading.path == BatchPath::TableEditing) {
            if (m_reading.table.trimmed().isEmpty())
                fail(m_cut.lineAt(m_reading.editTableAt), QStringLiteral("edit_table names no table"));
        } else {
            const QString &sql = clause.found ? clause.sqlText : m_cut.text;
            const OfflineReading offline = readOffline(m_engine, sql);
            m_rows = offline.rows;
            if (!offline.failure.isEmpty()) {
                const int at = offline.line;
                fail(at >= 0 && std::size_t(at) < m_cut.lines.size() ? m_cut.lines[std::size_t(at)] : m_cut.first,
                     offline.failure);
            } else {
                if (m_rows == OfflineReading::Rows::Unknown)
                    m_rows = rowsByFirstWord(sql);
                if (m_reading.path == BatchPath::ResultSet && m_rows == OfflineReading::Rows::No)
                    fail(m_cut.first, QStringLiteral("The batch runs as a result set (it holds none of insert, "
                                                     "update, delete, into, drop, edit_table), but its statement "
                                                     "returns no rows"));
            }
        }
        // The export reads the rows of the batch's result; after a data
        // change or a table editing there is none.
        if (!clause.fileName.isEmpty() && m_reading.path != BatchPath::ResultSet)
            fail(m_cut.lineAt(clause.at),
                 QStringLiteral("The batch exports (totxt) but runs as %1: no result is left to export")
                     .arg(batchPathName(m_reading.path)));
    }

    // The batch's line of the output.
    QString line(const QHash<int, QStringList> &names, const ParamCells &grid, int rows) const
    {
        const int end = m_cut.goLine >= 0 ? m_cut.goLine : m_cut.last;
        const QString protection = m_cut.protect ? QStringLiteral("drop:%1:%2").arg(m_cut.dropLine + 1).arg(m_cut.dropColumn + 1)
                                                 : QStringLiteral("no");
        const QString &exportFile = m_reading.exportClause.fileName;
        return QStringLiteral("batch=%1 lines=%2-%3 end=%4 kind=%5 protected=%6 rows=%7 export=%8 unfilled=%9")
            .arg(m_number)
            .arg(m_cut.first + 1)
            .arg(end + 1)
            .arg(m_cut.goLine >= 0 ? QStringLiteral("go") : QStringLiteral("none"),
                 batchPathName(m_reading.path), protection,
                 m_reading.path == BatchPath::ResultSet ? rowsName(m_rows) : QStringLiteral("-"),
                 exportFile.isEmpty() ? QStringLiteral("-") : RunLog::field(exportFile),
                 unfilled(names, grid, rows));
    }

private:
    QString unfilled(const QHash<int, QStringList> &names, const ParamCells &grid, int rows) const
    {
        QStringList found;
        if (!names.isEmpty()) {
            for (const int index : m_cut.lines) {
                const auto it = names.constFind(index);
                if (it == names.constEnd())
                    continue;
                for (const QString &name : *it) {
                    if (!found.contains(name) && !isFilled(name, grid, rows))
                        found.append(name);
                }
            }
        }
        return found.isEmpty() ? QStringLiteral("-") : RunLog::field(found.join(u','));
    }

    int m_number;
    const CutBatch &m_cut;
    EngineKind m_engine;
    BatchReading m_reading;
    OfflineReading::Rows m_rows = OfflineReading::Rows::Unknown;
};

void appendLine(QByteArray &output, const QString &line)
{
    output += line.toUtf8();
    output += '\n';
}

// The failure lines and the last line.
void appendEnd(QByteArray &output, const std::vector<Finding> &findings, EngineKind engine, std::size_t batches,
               int &status)
{
    int failures = 0;
    int silenced = 0;
    for (const Finding &finding : findings) {
        const QString where = finding.batch > 0
            ? QStringLiteral("batch=%1 line=%2").arg(finding.batch).arg(finding.line)
            : QStringLiteral("batch=- line=-");
        appendLine(output, QStringLiteral("%1 %2 reason=%3")
                               .arg(finding.silenced ? QStringLiteral("silenced") : QStringLiteral("fails"), where,
                                    RunLog::field(finding.reason)));
        ++(finding.silenced ? silenced : failures);
    }
    status = failures > 0 ? 1 : 0;
    appendLine(output, QStringLiteral("check outcome=%1 engine=%2 batches=%3 failures=%4 silenced=%5")
                           .arg(failures > 0 ? QStringLiteral("fails") : QStringLiteral("ok"), engineName(engine))
                           .arg(batches)
                           .arg(failures)
                           .arg(silenced));
}

// Why the script the arguments name cannot be checked; empty when it can.
QString unusableInput(const QStringList &arguments, QString *scriptFile)
{
    bool named = false;
    for (const QString &argument : arguments) {
        const ArgumentEffects effects = examineArgument(argument);
        if (effects.go)
            return QStringLiteral("--check only reads the script: it does not go with GO.");
        if (effects.script) {
            named = true;
            *scriptFile = effects.sqlFileName;
        }
    }
    if (!named || scriptFile->isEmpty())
        return QStringLiteral("--check needs the script to check: SQL=file.");
    const QFileInfo info(*scriptFile);
    if (!info.exists())
        return QStringLiteral("The script '%1' does not exist.").arg(*scriptFile);
    // A pipe would wait for a program to write into it.
    if (!info.isFile())
        return QStringLiteral("The script '%1' is not a file.").arg(*scriptFile);
    QFile file(*scriptFile);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The script '%1' cannot be read: %2.").arg(*scriptFile, file.errorString());
    return QString();
}

} // namespace

ScriptCheck checkScript(const QStringList &arguments, bool singleTransaction)
{
    ScriptCheck check;
    QString scriptFile;
    check.unusable = unusableInput(arguments, &scriptFile);
    if (!check.unusable.isEmpty())
        return check;

    // The arguments as the start-up reads them; the last "DB=" names the
    // database the run would open.
    MemoryCells grid;
    StartupArguments read;
    QString database;
    bool databaseNamed = false;
    std::vector<Finding> findings;
    EngineKind engine = EngineKind::Sqlite;
    LineStore lines;
    int rows = 0;
    try {
        readStartupArguments(arguments, grid, read, [&](const QString &name) {
            database = name;
            databaseNamed = true;
        });
        if (databaseNamed)
            engine = engineKindOf(database);
        TextEncoding encoding = TextEncoding::None;
        rows = loadScript(scriptFile, read.runId, lines, grid, encoding);
    } catch (const Failure &failure) {
        findings.push_back(Finding{0, 0, failure.text(), false});
        appendEnd(check.output, findings, engine, 0, check.status);
        return check;
    }

    const QHash<int, QStringList> names = namesByLine(lines);
    // An unattended run puts the parameters in twice: before the run, and
    // as its first step.
    substituteParameters(lines, grid, rows, nullptr);
    substituteParameters(lines, grid, rows, nullptr);

    const std::vector<CutBatch> batches = cutBatches(lines);
    for (std::size_t i = 0; i < batches.size(); ++i) {
        BatchCheck batch(int(i) + 1, batches[i], engine);
        batch.findFailures(singleTransaction, findings);
        appendLine(check.output, batch.line(names, grid, rows));
    }
    appendEnd(check.output, findings, engine, batches.size(), check.status);
    return check;
}

} // namespace rux
