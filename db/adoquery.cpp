#include "db/adoquery.h"

#include "db/adoconnection.h"
#include "base/failure.h"

#include <QSet>

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
    Q_EMIT reset();
}

// A result can be edited in place when all of its columns come from one
// table and include that table's whole primary key.
void AdoQuery::findEditTarget()
{
    const ResultOrigin origin = originOfResult();
    if (!origin.valid) {
        setReadOnlyReason(QStringLiteral("Read-only: the columns of this result do not all come "
                                         "unchanged from one table, so no row can be written back."));
        return;
    }
    const QString table = u'"' + origin.table + u'"';
    if (origin.columns.size() != QSet<QString>(origin.columns.begin(), origin.columns.end()).size()) {
        setReadOnlyReason(QStringLiteral("Read-only: a column of %1 appears twice in this result.").arg(table));
        return;
    }
    const TableInfo info = tableInfo(origin.schema, origin.table);
    if (info.isView || info.primaryKey.isEmpty()) {
        setReadOnlyReason(readOnlyTableText(origin.table, info.isView));
        return;
    }
    QVector<int> key;
    QStringList missing;
    for (const QString &pk : info.primaryKey) {
        const int at = origin.columns.indexOf(pk);
        if (at < 0)
            missing.append(u'"' + pk + u'"');
        key.append(at);
    }
    if (!missing.isEmpty()) {
        setReadOnlyReason(QStringLiteral("Read-only: the result lacks the key %1 %2 of %3. "
                                         "Select it as well to edit the rows here.")
                              .arg(missing.size() == 1 ? QStringLiteral("column") : QStringLiteral("columns"),
                                   missing.join(QStringLiteral(", ")), table));
        return;
    }
    setEditTarget(EditTarget{origin.schema, origin.table, key, origin.columns, false});
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

void AdoQuery::appendFieldsAnsi(const std::vector<int> &fields, QByteArrayView separator, QByteArray &out)
{
    requireActive();
    const bool exists = rowExists(m_position);
    for (int f : fields) {
        if (exists)
            appendRowAnsi(m_position, f - 1, out);
        out.append(separator);
    }
}

} // namespace rux
