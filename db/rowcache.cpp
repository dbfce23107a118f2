#include "db/rowcache.h"

namespace rux {

void RowCache::setKeyColumns(const QVector<int> &keyColumns)
{
    m_keyColumns = keyColumns;
    m_keys.clear();
    for (const Row &row : std::as_const(m_rows))
        remember(row);
}

void RowCache::remember(const Row &row)
{
    const QString key = keyText(row);
    if (!key.isNull())
        m_keys.insert(key);
}

QString RowCache::keyText(const Row &row) const
{
    if (m_keyColumns.isEmpty())
        return QString();
    QString text(QLatin1String(""));
    for (int k : m_keyColumns) {
        const QVariant &v = row.value(k);
        if (v.isNull())
            return QString();
        text += QString::number(v.typeId());
        text += u'\x1f';
        text += v.toString();
        text += u'\x1e';
    }
    return text;
}

bool RowCache::insert(qsizetype at, Row row)
{
    const QString key = keyText(row);
    if (!key.isNull()) {
        if (m_keys.contains(key))
            return false;
        m_keys.insert(key);
    }
    m_rows.insert(at, std::move(row));
    return true;
}

void RowCache::place(qsizetype at, Row row)
{
    remember(row);
    m_rows.insert(at, std::move(row));
}

void RowCache::replace(qsizetype at, Row row)
{
    m_keys.remove(keyText(m_rows[at]));
    remember(row);
    m_rows[at] = std::move(row);
}

void RowCache::remove(qsizetype at)
{
    m_keys.remove(keyText(m_rows[at]));
    m_rows.remove(at);
}

void RowCache::clear()
{
    m_rows.clear();
    m_keys.clear();
}

} // namespace rux
