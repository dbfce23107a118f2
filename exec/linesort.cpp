#include "exec/linesort.h"

namespace rux {

namespace {

bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

// True when the line, stripped of control characters and blanks at both
// ends, reads "go". Compared in place so that no trimmed copy is made for
// every line of a long script.
bool readsGo(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isTrimmed(line[begin]))
        ++begin;
    while (end > begin && isTrimmed(line[end - 1]))
        --end;
    return end - begin == 2 && line[begin] == u'g' && line[begin + 1] == u'o';
}

} // namespace

LineKind sortLine(const QString &line)
{
    if (line.contains(u'#'))
        return LineKind::Dropped;
    if (line.isEmpty())
        return LineKind::Empty;
    if (line[0] == u'\'')
        return LineKind::Comment;
    if (readsGo(line))
        return LineKind::BatchEnd;
    return LineKind::Statement;
}

bool protectsBatch(const QString &statementLine)
{
    return dropPosition(statementLine) >= 0;
}

qsizetype dropPosition(const QString &statementLine)
{
    return statementLine.indexOf(QLatin1String("drop"), 0, Qt::CaseSensitive);
}

} // namespace rux
