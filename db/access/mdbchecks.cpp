#include "db/access/mdbchecks.h"

#include "db/access/mdbhandles.h"
#include "base/failure.h"

#include <QFileInfo>
#include <QSet>

#include <cstring>

namespace rux {

namespace {

[[noreturn]] void fail(const QString &fileName, const QString &what)
{
    throw Failure(accessReadFailureText(fileName, what));
}

} // namespace

QString accessReadFailureText(const QString &fileName, const QString &what)
{
    return QStringLiteral("Could not read the Access file '%1': %2").arg(fileName, what);
}

void checkColumnNames(MdbTableDef *table, const QString &fileName, const QString &tableName)
{
    QSet<QString> seen;
    for (unsigned c = 0; c < table->num_cols; ++c) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, c));
        const QString name = QString::fromUtf8(column->name).toCaseFolded();
        if (name.isEmpty() || seen.contains(name)) {
            fail(fileName, QStringLiteral("the column list of table '%1' is damaged: %2")
                     .arg(tableName, name.isEmpty() ? QStringLiteral("a column has no name")
                                                    : QStringLiteral("two columns are named '%1'")
                                                          .arg(QString::fromUtf8(column->name))));
        }
        seen.insert(name);
    }
}

void readCheckedCatalog(MdbHandle *mdb, const QString &fileName)
{
    const qint64 pageSize = mdb->fmt->pg_size;
    const qint64 fileSize = QFileInfo(fileName).size();
    // The engine writes whole pages only.
    if (pageSize <= 0 || fileSize % pageSize != 0)
        fail(fileName, QStringLiteral("it ends inside a page: the file was cut short"));
    const qint64 pages = fileSize / pageSize;
    if (!mdb_read_catalog(mdb, MDB_ANY))
        fail(fileName, QStringLiteral("its catalog cannot be read"));
    // The catalog is the table MSysObjects, whose definition is always on
    // page 2 and counts its rows.
    MdbCatalogEntry objects = {};
    objects.mdb = mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::strcpy(objects.object_name, "MSysObjects");
    const TablePtr definition(mdb_read_table(&objects));
    if (!definition)
        fail(fileName, QStringLiteral("its catalog cannot be read"));
    if (qint64(mdb->num_catalog) != qint64(definition->num_rows)) {
        fail(fileName, QStringLiteral("its catalog gave %1 objects where its definition counts %2; the file is damaged")
                 .arg(mdb->num_catalog).arg(definition->num_rows));
    }
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        const auto *entry = static_cast<const MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && qint64(entry->table_pg) >= pages) {
            fail(fileName, QStringLiteral("table '%1' lies on page %2, beyond the file's last page %3: the file was cut short")
                     .arg(QString::fromUtf8(entry->object_name)).arg(entry->table_pg).arg(pages - 1));
        }
    }
}

} // namespace rux

