#include "db/access/mdbnotes.h"

#include "db/access/mdbhandles.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <memory>
#include <vector>

namespace rux {

namespace {

MdbCatalogEntry *tableEntry(MdbHandle *mdb, const QString &name)
{
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, name.toUtf8().constData());
    return entry && entry->object_type == MDB_TABLE ? entry : nullptr;
}

// A table of the file with its columns read; null when it cannot be read.
TablePtr readTable(MdbCatalogEntry *entry)
{
    TablePtr table(entry ? mdb_read_table(entry) : nullptr);
    if (table && !mdb_read_columns(table.get()))
        table.reset();
    return table;
}

// The rows of the system table `name`, the values of `columns` as libmdb
// gives them in text; no rows when the table or a column is missing.
QList<QStringList> systemRows(MdbHandle *mdb, const char *name, const QList<QByteArray> &columns)
{
    QList<QStringList> rows;
    const TablePtr table = readTable(tableEntry(mdb, QString::fromLatin1(name)));
    if (!table)
        return rows;
    std::vector<QByteArray> values(size_t(columns.size()), QByteArray(qsizetype(mdb->bind_size) + 1, '\0'));
    std::vector<int> lengths(size_t(columns.size()), 0);
    for (qsizetype c = 0; c < columns.size(); ++c) {
        QByteArray column = columns[c];
        if (mdb_bind_column_by_name(table.get(), column.data(), values[size_t(c)].data(), &lengths[size_t(c)]) < 0)
            return rows;
    }
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        QStringList row;
        for (size_t c = 0; c < values.size(); ++c)
            row.append(QString::fromUtf8(values[c].constData(), qBound(0, lengths[c], int(mdb->bind_size))));
        rows.append(row);
    }
    return rows;
}

// The memo columns of a table that keep their earlier versions.
QStringList appendOnlyMemos(MdbCatalogEntry *entry)
{
    QStringList memos;
    const TablePtr table = readTable(entry);
    if (!table)
        return memos;
    for (unsigned c = 0; c < table->num_cols; ++c) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, c));
        const char *appendOnly = mdb_col_get_prop(column, "AppendOnly");
        if (column->col_type == MDB_MEMO && appendOnly && qstrcmp(appendOnly, "yes") == 0)
            memos.append(QString::fromUtf8(column->name));
    }
    return memos;
}

QString quoted(const QString &name)
{
    return u'\'' + name + u'\'';
}

} // namespace

QStringList leftOutNotes(MdbHandle *mdb)
{
    QStringList notes;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        const auto *entry = static_cast<const MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_LINKED_TABLE) {
            notes.append(QStringLiteral("Table %1 is linked from another file; its data is not copied.")
                             .arg(quoted(QString::fromUtf8(entry->object_name))));
        }
    }

    // Complex columns (Access 2007 on): each row of MSysComplexColumns
    // names the column, the table it belongs to and its kind, the last two
    // as ids of MSysObjects. The kind is a template table: an attachment,
    // a version history, or the type of a multi-value column's values.
    QHash<QString, QString> objects;
    for (const QStringList &row : systemRows(mdb, "MSysObjects", {"Id", "Name"}))
        objects.insert(row[0], row[1]);
    const QList<QStringList> complexColumns = systemRows(
        mdb, "MSysComplexColumns", {"ColumnName", "ConceptualTableID", "ComplexTypeObjectID"});
    for (const QStringList &row : complexColumns) {
        const QString table = objects.value(row[1]);
        MdbCatalogEntry *entry = tableEntry(mdb, table);
        if (!entry || !mdb_is_user_table(entry))
            continue;
        const QString column = row[0];
        const QString kind = objects.value(row[2]);
        const QString where = QStringLiteral("Table %1: ").arg(quoted(table));
        if (kind == QLatin1String("MSysComplexType_Attachment")) {
            notes.append(where + QStringLiteral("the files of attachment column %1 are not copied; "
                                                "the column holds only their key.").arg(quoted(column)));
        } else if (kind.startsWith(QLatin1String("MSysComplexTypeVH_"))) {
            const QStringList memos = appendOnlyMemos(entry);
            for (const QString &memo : memos) {
                notes.append(where + QStringLiteral("the earlier versions of append-only memo column %1 "
                                                    "are not copied; it holds its latest text.")
                                         .arg(quoted(memo)));
            }
            notes.append(where + QStringLiteral("column %1 holds only the key of the memo versions.")
                                     .arg(quoted(column)));
        } else {
            notes.append(where + QStringLiteral("the values of multi-value column %1 are not copied; "
                                                "the column holds only their key.").arg(quoted(column)));
        }
    }
    return notes;
}

} // namespace rux

