#include "script/discovery.h"

#include "base/failure.h"
#include "script/replaceall.h"

#include <algorithm>
#include <array>

namespace rux {

namespace {

// The name rule over a view; p is 1-based.
QStringView nameAt(QStringView line, qsizetype p)
{
    const qsizetype start = p - 1;
    // The blank that ends the name is searched from position p + 3, that is
    // from index p + 2: a blank right after the "$" or after the character
    // behind it stays inside the name.
    qsizetype blank = p + 2;
    while (blank < line.size() && line[blank] != u' ')
        ++blank;
    return line.mid(start, blank - start);
}

// The name cells as this load sees them: rows 1 to 6 as the grid held them
// at the start, with the names this load has written so far on top.
class NameRows
{
public:
    explicit NameRows(const ParamCells &grid)
    {
        for (int r = 1; r <= kGridRowCount; ++r)
            m_rows[r] = grid.cell(0, r);
    }

    bool known(QStringView name) const
    {
        // Compared here rather than by the library's call: a load compares
        // every name of every line with every row.
        for (int r = 1; r <= kGridRowCount; ++r) {
            const QString &row = m_rows[r];
            if (row.size() == name.size() && std::equal(name.begin(), name.end(), row.begin()))
                return true;
        }
        return false;
    }

    void append(int row, QStringView name)
    {
        if (row > kMaxParamRows)
            throw Failure(tooManyParametersText());
        m_rows[row] = name.toString();
        m_written[row] = true;
    }

    QList<DiscoveredNames::Name> written() const
    {
        QList<DiscoveredNames::Name> names;
        for (int r = 1; r <= kMaxParamRows; ++r) {
            if (m_written[r])
                names.append({r, m_rows[r]});
        }
        return names;
    }

private:
    std::array<QString, kMaxParamRows + 1> m_rows;
    std::array<bool, kMaxParamRows + 1> m_written{};
};

void scanNames(QStringView line, NameRows &rows, int &n)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != u'$')
            continue;
        const QStringView name = nameAt(line, i + 1);
        if (!rows.known(name)) {
            rows.append(n + 1, name);
            ++n;
        }
    }
}

// The text with every line break written as CR LF, as the editor holds it.
QString withCrLf(const QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            out.append(u"\r\n");
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            out.append(c);
        }
    }
    return out;
}

// One line of the script: the run-identifier token and the parameter scan.
// Returns true and sets `replaced` when the token was replaced.
bool processLine(QStringView line, const QString &runId, NameRows &rows, int &n, QString &replaced)
{
    static const QString token = QStringLiteral("%rid%");
    if (line.startsWith(u'#'))
        return false;
    if (std::find(line.begin(), line.end(), QChar(u'%')) == line.end() || !line.contains(token, Qt::CaseSensitive)) {
        scanNames(line, rows, n);
        return false;
    }
    // A run identifier holding line breaks makes lines of its own; each is
    // scanned as a line, so a name never runs across a break.
    replaced = withCrLf(replaceAllIgnoreCase(line.toString(), token, runId));
    const QStringView view(replaced);
    qsizetype from = 0;
    for (qsizetype brk = view.indexOf(u"\r\n"); brk >= 0; brk = view.indexOf(u"\r\n", from)) {
        scanNames(view.mid(from, brk - from), rows, n);
        from = brk + 2;
    }
    scanNames(view.mid(from), rows, n);
    return true;
}

} // namespace

QString takeParameterName(const QString &line, int p)
{
    if (p < 1 || p > line.size())
        return QString();
    return nameAt(line, p).toString();
}

int countNamedRows(const ParamCells &grid)
{
    int n = 0;
    for (int r = 1; r <= kGridRowCount; ++r) {
        if (!grid.cell(0, r).isEmpty())
            ++n;
    }
    return n;
}

DiscoveredNames discoverInLines(LineStore &lines, const QString &runId, const ParamCells &grid)
{
    int n = countNamedRows(grid);
    NameRows rows(grid);
    for (int i = 0; i < lines.lineCount(); ++i) {
        // A line with neither a name nor the token is left as it is, without
        // being read.
        const bool dollar = lines.lineHolds(i, u'$');
        if (!dollar && !lines.lineHolds(i, u'%'))
            continue;
        const QString line = lines.line(i);
        QString replaced;
        if (processLine(line, runId, rows, n, replaced)) {
            // The lines that line breaks in the run identifier make are
            // scanned already.
            const int before = lines.blockCount();
            lines.setLine(i, replaced);
            i += lines.blockCount() - before;
        } else if (dollar) {
            // Every parameter row's pass reads this line.
            lines.keepDecoded(i, line);
        }
    }
    return DiscoveredNames{n, rows.written()};
}

DiscoveredScript discoverParameters(const QString &text, const QString &runId, const ParamCells &grid)
{
    LineStore lines = LineStore::fromText(text);
    const DiscoveredNames names = discoverInLines(lines, runId, grid);
    return DiscoveredScript{lines.text(), names.rowsInUse, names.newNames};
}

int loadScript(const QString &fileName, const QString &runId, ScriptLines &editor, ParamCells &grid,
               TextEncoding &remembered)
{
    ScriptFileLines file = readScriptLines(fileName);

    // The line work runs on the lines before they go into the editor;
    // nothing else runs meanwhile, so this is the same as working on the
    // editor's lines, and a refusal leaves the editor as it was.
    const DiscoveredNames names = discoverInLines(file.lines, runId, grid);

    remembered = file.encoding;
    if (file.tooLong || !file.lines.fitsIn(kMemoCapacity))
        throw Failure(QStringLiteral("Text überschreitet Memo-Kapazität"));
    editor.takeLines(std::move(file.lines));
    for (const DiscoveredNames::Name &name : names.newNames)
        grid.setCell(0, name.row, name.name);
    return names.rowsInUse;
}

} // namespace rux
