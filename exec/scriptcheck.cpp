#include "exec/scriptcheck.h"

#include "db/engines.h"
#include "exec/batchcut.h"
#include "exec/batchtext.h"
#include "exec/cmdline.h"
#include "exec/exportfile.h"
#include "exec/runcheck.h"
#include "exec/runlog.h"
#include "script/discovery.h"
#include "base/failure.h"
#include "script/linestore.h"
#include "script/memorycells.h"
#include "script/substitution.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <charconv>
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

// Puts words and numbers together in a buffer its user sizes.
struct LineWriter
{
    char *at;

    void add(const char *word)
    {
        while (*word)
            *at++ = *word++;
    }
    void add(int number) { at = std::to_chars(at, at + 11, number).ptr; }
};

const char *rowsName(OfflineReading::Rows rows)
{
    switch (rows) {
    case OfflineReading::Rows::Yes:
        return "yes";
    case OfflineReading::Rows::No:
        return "no";
    case OfflineReading::Rows::Unknown:
        break;
    }
    return "unknown";
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

// The export files, each looked at once: many batches of a long script
// export to the same file. Its refusal, and its name as the output writes
// it.
class ExportFiles
{
public:
    struct File
    {
        QString refusal;
        QByteArray field;
    };

    const File &file(const QString &fileName)
    {
        auto it = m_files.constFind(fileName);
        if (it == m_files.constEnd())
            it = m_files.insert(fileName, File{exportFileRefusal(fileName), RunLog::field(fileName).toUtf8()});
        return *it;
    }

private:
    QHash<QString, File> m_files;
};

// The parameter names in each line, before the substitution, that it
// will fill with nothing or leave standing (parameterMarks: the
// substitution's own matching), each as written by the loading's name
// rule; only lines with such a name are listed.
QHash<int, QStringList> unfilledByLine(const LineStore &lines, const ParamCells &grid, int rows)
{
    QHash<int, QStringList> names;
    const int count = lines.lineCount();
    for (int i = 0; i < count; ++i) {
        if (!lines.lineHolds(i, u'$'))
            continue;
        const QString line = lines.line(i);
        for (const ParameterMark &mark : parameterMarks(line, grid, rows)) {
            if (!mark.filled)
                names[i].append(takeParameterName(line, int(mark.at) + 1));
        }
    }
    return names;
}

// What the check goes through for one batch.
class BatchCheck
{
public:
    BatchCheck(int number, const CutBatch &cut, EngineKind engine) : m_number(number), m_cut(cut), m_engine(engine) {}

    // The failures a run meets in the batch, in the order it meets them.
    void findFailures(bool singleTransaction, ExportFiles &exports, std::vector<Finding> &findings)
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
            m_export = &exports.file(clause.fileName);
            const QString &refusal = m_export->refusal;
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

    // Appends the batch's line of the output. A long script has a line per
    // batch: its fields up to the export are put together in place, with
    // no string of their own.
    void appendLine(QByteArray &output, const QHash<int, QStringList> &unfilled) const
    {
        // Five numbers of at most 11 characters and some 80 of words.
        char line[192];
        LineWriter head{line};
        const int end = m_cut.goLine >= 0 ? m_cut.goLine : m_cut.last;
        head.add("batch=");
        head.add(m_number);
        head.add(" lines=");
        head.add(m_cut.first + 1);
        head.add("-");
        head.add(end + 1);
        head.add(m_cut.goLine >= 0 ? " end=go kind=" : " end=none kind=");
        head.add(batchPathName(m_reading.path).data());
        if (m_cut.protect) {
            head.add(" protected=drop:");
            head.add(m_cut.dropLine + 1);
            head.add(":");
            head.add(m_cut.dropColumn + 1);
        } else {
            head.add(" protected=no");
        }
        head.add(" rows=");
        head.add(m_reading.path == BatchPath::ResultSet ? rowsName(m_rows) : "-");
        head.add(" export=");
        output.append(line, head.at - line);
        if (m_export)
            output += m_export->field;
        else
            output += '-';
        output += " unfilled=";
        appendUnfilled(output, unfilled);
        output += '\n';
    }

private:
    void appendUnfilled(QByteArray &output, const QHash<int, QStringList> &unfilled) const
    {
        QStringList found;
        if (!unfilled.isEmpty()) {
            for (const int index : m_cut.lines) {
                for (const QString &name : unfilled.value(index)) {
                    if (!found.contains(name))
                        found.append(name);
                }
            }
        }
        if (found.isEmpty())
            output += '-';
        else
            output += RunLog::field(found.join(u',')).toUtf8();
    }

    int m_number;
    const CutBatch &m_cut;
    EngineKind m_engine;
    BatchReading m_reading;
    const ExportFiles::File *m_export = nullptr;
    OfflineReading::Rows m_rows = OfflineReading::Rows::Unknown;
};

void appendLine(QByteArray &output, const QString &line)
{
    output += line.toUtf8();
    output += '\n';
}

// The failure lines and the last line.
void appendEnd(QByteArray &output, const std::vector<Finding> &findings, EngineKind engine, int batches,
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

ScriptCheck checkScript(const QStringList &arguments, bool singleTransaction, const CheckOutput &write)
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
        QByteArray output;
        appendEnd(output, findings, engine, 0, check.status);
        write(output);
        return check;
    }

    const QHash<int, QStringList> unfilled = unfilledByLine(lines, grid, rows);
    // An unattended run puts the parameters in twice: before the run, and
    // as its first step.
    substituteParameters(lines, grid, rows, nullptr);
    substituteParameters(lines, grid, rows, nullptr);

    // The run's cutter, line by line: a batch is checked when its "go"
    // is reached, and not kept afterwards.
    ExportFiles exports;
    int count = 0;
    // The lines go out as they are written, a block at a time: a long
    // script's lines are never held together.
    constexpr qsizetype kBlock = 64 * 1024;
    QByteArray output;
    output.reserve(kBlock + 1024);
    const auto checkBatch = [&](const CutBatch &cut) {
        BatchCheck batch(++count, cut, engine);
        batch.findFailures(singleTransaction, exports, findings);
        batch.appendLine(output, unfilled);
        if (output.size() >= kBlock) {
            write(output);
            output.resize(0);
        }
    };
    BatchCutter cutter;
    const int lineCount = lines.lineCount();
    for (int i = 0; i < lineCount; ++i) {
        if (cutter.take(i, lines.line(i)) == LineKind::BatchEnd)
            checkBatch(cutter.batch());
    }
    if (cutter.finish())
        checkBatch(cutter.batch());
    appendEnd(output, findings, engine, count, check.status);
    write(output);
    return check;
}

} // namespace rux
