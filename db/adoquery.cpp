#include "adoquery.h"

#include "adoconnection.h"
#include "failure.h"

namespace rux {

AdoQuery::AdoQuery(AdoConnection *connection, const QString &objectName, QObject *parent)
    : SqlDataSet(connection, objectName, parent)
{
}

void AdoQuery::changed()
{
    // A non-empty text opens the connection on demand. A failure here is
    // not reported: the open is tried again, and reported, when the query runs.
    if (m_text.isEmpty())
        return;
    try {
        connection()->ensureOpen();
    } catch (const Failure &) {
    }
}

void AdoQuery::sqlAdd(const QString &line)
{
    Close();
    m_lines.append(line);
    m_text += line;
    m_text += QStringLiteral("\r\n");
    changed();
}

void AdoQuery::sqlClear()
{
    if (m_lines.isEmpty())
        return;
    Close();
    m_lines.clear();
    m_text.clear();
}

void AdoQuery::requireText() const
{
    if (m_text.isEmpty())
        throw Failure(objectName() + QStringLiteral(": Eigenschaft SQL fehlt"));
}

void AdoQuery::requireActive() const
{
    if (!isActive())
        throw Failure(objectName() + QStringLiteral(": Operation bei geschlossener Datenmenge nicht ausführbar"));
}

void AdoQuery::Open()
{
    if (isActive())
        return;
    requireText();
    if (!execute(m_text))
        throw Failure(objectName() + QStringLiteral(": CommandText gibt keine Ergebnismenge zurück"));
    m_position = 0;
    findEditTarget();
    Q_EMIT reset();
}

// A result can be edited in place when all of its columns come from one
// table and include that table's whole primary key.
void AdoQuery::findEditTarget()
{
    const Origin origin = originOfResult();
    if (!origin.valid)
        return;
    if (origin.columns.size() != QSet<QString>(origin.columns.begin(), origin.columns.end()).size())
        return;
    const TableInfo info = tableInfo(origin.schema, origin.table);
    if (info.isView || info.primaryKey.isEmpty())
        return;
    QVector<int> key;
    for (const QString &pk : info.primaryKey) {
        const int at = origin.columns.indexOf(pk);
        if (at < 0)
            return;
        key.append(at);
    }
    setEditTarget(origin.schema, origin.table, key, origin.columns, false);
}

void AdoQuery::ExecSQL()
{
    requireText();
    if (execute(m_text, 0, false))
        release();
}

void AdoQuery::Close()
{
    release();
}

void AdoQuery::First()
{
    requireActive();
    m_position = 0;
}

void AdoQuery::Next()
{
    requireActive();
    if (rowExists(m_position))
        ++m_position;
}

bool AdoQuery::Eof()
{
    requireActive();
    return !rowExists(m_position);
}

int AdoQuery::fieldCount()
{
    requireActive();
    return columnCount();
}

QString AdoQuery::fieldName(int field)
{
    requireActive();
    return columnName(field - 1);
}

// At the end of the rows (a result without rows) every field reads empty.
QString AdoQuery::asString(int field)
{
    requireActive();
    if (!rowExists(m_position))
        return QString();
    return rowText(m_position, field - 1);
}

void AdoQuery::appendAnsiText(int field, QByteArray &out)
{
    requireActive();
    if (rowExists(m_position))
        appendRowAnsi(m_position, field - 1, out);
}

void AdoQuery::appendFieldsAnsi(const std::vector<int> &fields, QByteArray &out)
{
    requireActive();
    if (rowExists(m_position)) {
        appendRowAnsi(m_position, fields, out);
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        out.append("    ", 4);
}

} // namespace rux
