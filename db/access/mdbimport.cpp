#include "db/access/mdbimport.h"

#include "db/databasefile.h"

#include <QFile>
#include <QFileInfo>

#include "base/failure.h"
#include "db/access/libraryoutput.h"
#include "db/access/mdbchecks.h"
#include "db/access/mdbhandles.h"
#include "db/access/mdbnotes.h"
#include "db/access/mdbvalues.h"
#include "db/tablename.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QVector>

#include <memory>

#include <mdbtools.h>
#include <sqlite3.h>

namespace rux {

bool isAccessFile(const QString &fileName)
{
    // Opening a pipe would wait for a program to write into it: only a
    // regular file is read.
    if (!QFileInfo(fileName).isFile())
        return false;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && isAccessHead(file.read(kDatabaseHeadSize));
}

namespace {

// Row flags in a data page's row offset table.
constexpr int kRowDeleted = 0x4000;
constexpr int kRowOffsetMask = 0x1fff;

// A memo or OLE field is a 12-byte header in the row: the length with
// flags in its top bits, and the page/row of the first part stored
// elsewhere.
constexpr quint32 kLongValueInline = 0x80000000u;
constexpr quint32 kLongValueOnePage = 0x40000000u;
constexpr quint32 kLongValueLengthMask = 0x3fffffffu;

struct StatementCloser
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// How a column's values are read: the type of its values and whether
// they are a calculated column's results, stored wrapped. A calculated
// column's type in the table definition need not be its result's (a
// yes/no result is declared an integer, a currency one a double); the
// column's properties say the result type, in the same type codes.
struct ColumnValue
{
    int type = 0;
    bool calculated = false;
    // The decimals of a decimal column. libmdb reads the definition's
    // precision into col_scale and its scale into col_prec (a decimal
    // (18, 6) reads col_scale 18, col_prec 6).
    int scale = 0;
    int precision = 0;
};

ColumnValue columnValue(const MdbColumn *column)
{
    ColumnValue value;
    value.type = column->col_type;
    value.scale = column->col_prec;
    value.precision = column->col_scale;
    const char *resultType = mdb_col_get_prop(column, "ResultType");
    const int result = resultType ? QByteArray(resultType).toInt() : 0;
    if (result > 0 && mdb_col_get_prop(column, "Expression")) {
        value.type = result;
        value.calculated = true;
    }
    return value;
}

// The declared type of a column's copy. Decimals are exact text in a
// column whose declared type says decimal but has SQLite's text affinity
// (the name holds "TEXT"), so that no digit is lost to a REAL.
QString declaredType(const MdbColumn *column)
{
    const ColumnValue value = columnValue(column);
    switch (value.type) {
    case MDB_BOOL: return QStringLiteral("BOOLEAN");
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return QStringLiteral("INTEGER");
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE: return QStringLiteral("REAL");
    case MDB_DATETIME:
    case mdbvalue::kExtendedDateTime:
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: return QStringLiteral("TEXT");
    case MDB_NUMERIC:
        // A calculated decimal carries its own scale in every value.
        if (value.calculated)
            return QStringLiteral("DECIMAL_TEXT");
        return QStringLiteral("DECIMAL_TEXT(%1,%2)").arg(value.precision).arg(value.scale);
    default: return QStringLiteral("BLOB");
    }
}

QString sqliteText(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

using mdbvalue::doubleAt;
using mdbvalue::floatAt;
using mdbvalue::int16At;
using mdbvalue::int32At;
using mdbvalue::int64At;
using mdbvalue::uint32At;

class Importer
{
public:
    Importer(const QString &fileName, MdbHandle *mdb, sqlite3 *db, const QString &targetName,
             LibraryOutput *output)
        : m_fileName(fileName), m_targetName(targetName), m_mdb(mdb), m_db(db), m_output(output)
    {
    }

    void run(AccessImport *result);

private:
    [[noreturn]] void fail(const QString &what) const;
    // Damage that libmdb only tells of in a line of its own (a page beyond
    // the end of the file, properties it cannot take apart): what it read
    // since the last look is then incomplete.
    void checkLibraryOutput();
    // A failure of the copy's own database.
    [[noreturn]] void failTarget() const;
    void exec(const QString &sql);
    // Creates the table and copies its rows; false when a row broke the
    // primary key (the table is then left out and the caller copies it
    // again without one).
    bool copyTable(MdbCatalogEntry *entry, MdbTableDef *table, bool withKey, qint64 *rows);
    QStringList primaryKey(MdbTableDef *table) const;
    bool bindField(sqlite3_stmt *stmt, int at, MdbColumn *column, const MdbField &field);
    bool bindValue(sqlite3_stmt *stmt, int at, const ColumnValue &value, const unsigned char *p, int size);
    const ColumnValue &valueOf(const MdbColumn *column);
    QByteArray longValue(const MdbField &field);
    QByteArray decodeText(const unsigned char *src, int length);

    const QString m_fileName;
    const QString m_targetName;
    MdbHandle *m_mdb;
    sqlite3 *m_db;
    QByteArray m_text;
    // How the columns of the table being copied are read, found once per
    // table (its catalog entry) from the column's type and properties.
    const MdbCatalogEntry *m_valuesOf = nullptr;
    QHash<const MdbColumn *, ColumnValue> m_values;
    LibraryOutput *m_output;
};

void Importer::fail(const QString &what) const
{
    throw Failure(accessReadFailureText(m_fileName, what));
}

void Importer::checkLibraryOutput()
{
    const QByteArray damage = m_output->damage();
    if (damage.contains(" is beyond EOF"))
        fail(QStringLiteral("it refers to pages beyond its end: the file was cut short"));
    if (!damage.isEmpty())
        fail(QStringLiteral("the file is damaged (libmdb: %1)").arg(QString::fromUtf8(damage)));
}

void Importer::failTarget() const
{
    // Only the copy's storage failing is the target's fault; a statement
    // the copy refuses otherwise comes from the file's own definitions.
    const int code = sqlite3_errcode(m_db) & 0xff;
    const bool storage = code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_CANTOPEN
        || code == SQLITE_READONLY || code == SQLITE_PERM || code == SQLITE_NOMEM
        || code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
    if (m_targetName.isEmpty() || !storage)
        fail(sqliteText(m_db));
    throw Failure(cannotWriteText(m_targetName, sqliteText(m_db)));
}

void Importer::exec(const QString &sql)
{
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        failTarget();
}

// Text fields come in the file's encoding: UTF-16 with the engine's
// one-byte compression in Jet 4 and ACE, decoded here so that characters
// outside the Basic Multilingual Plane keep both halves of their pair;
// the file's code page in Jet 3, which libmdb turns into UTF-8 (the handle
// is opened with UTF-8 as its target). UTF-8 takes at most three bytes for
// each byte of the code page.
QByteArray Importer::decodeText(const unsigned char *src, int length)
{
    if (!IS_JET3(m_mdb))
        return mdbvalue::unicodeText(src, length);
    const size_t room = 3 * size_t(length) + 8;
    if (size_t(m_text.size()) < room)
        m_text.resize(qsizetype(room));
    const int n = mdb_unicode2ascii(m_mdb, reinterpret_cast<const char *>(src), size_t(length),
                                    m_text.data(), room);
    m_text.truncate(qMax(0, n));
    return m_text;
}

const ColumnValue &Importer::valueOf(const MdbColumn *column)
{
    if (column->table->entry != m_valuesOf) {
        m_values.clear();
        m_valuesOf = column->table->entry;
    }
    auto found = m_values.constFind(column);
    if (found == m_values.constEnd())
        found = m_values.insert(column, columnValue(column));
    return *found;
}

// The whole of a memo or OLE field. Its bytes are in the row itself, in
// one row of another page, or in a chain of rows each starting with the
// page/row of the next.
QByteArray Importer::longValue(const MdbField &field)
{
    const unsigned char *row = m_mdb->pg_buf + field.start;
    if (field.siz < MDB_MEMO_OVERHEAD)
        return QByteArray("");
    const quint32 header = uint32At(row);
    const quint32 length = header & kLongValueLengthMask;
    if (header & kLongValueInline) {
        return QByteArray(reinterpret_cast<const char *>(row) + MDB_MEMO_OVERHEAD,
                          field.siz - MDB_MEMO_OVERHEAD);
    }
    qint32 pageRow = int32At(row + 4);
    QByteArray value;
    void *buffer = nullptr;
    int offset = 0;
    size_t size = 0;
    if (header & kLongValueOnePage) {
        if (mdb_find_pg_row(m_mdb, pageRow, &buffer, &offset, &size) != 0)
            fail(QStringLiteral("a memo or OLE field points outside the file"));
        return QByteArray(static_cast<const char *>(buffer) + offset, qsizetype(size));
    }
    if ((header & 0xff000000u) != 0)
        fail(QStringLiteral("a memo or OLE field has an unknown storage kind"));
    // Every part holds at least one byte, so a damaged chain that loops
    // ends once it has given more bytes than the field's length.
    while (pageRow != 0) {
        if (mdb_find_pg_row(m_mdb, pageRow, &buffer, &offset, &size) != 0 || size <= 4)
            fail(QStringLiteral("a memo or OLE field points outside the file"));
        const auto *part = static_cast<const unsigned char *>(buffer) + offset;
        if (quint64(value.size()) + (size - 4) > length)
            fail(QStringLiteral("a memo or OLE field is longer than its stated length"));
        value.append(reinterpret_cast<const char *>(part) + 4, qsizetype(size - 4));
        pageRow = int32At(part);
    }
    return value;
}

bool Importer::bindField(sqlite3_stmt *stmt, int at, MdbColumn *column, const MdbField &field)
{
    const ColumnValue &value = valueOf(column);
    // A yes/no field keeps its value in the row's null mask: a set bit
    // (read as "not null") is yes. It is never null. A calculated yes/no
    // is a value in the row like any other result.
    if (value.type == MDB_BOOL && !value.calculated)
        return sqlite3_bind_int(stmt, at, field.is_null ? 0 : 1) == SQLITE_OK;
    if (field.is_null)
        return sqlite3_bind_null(stmt, at) == SQLITE_OK;
    // A damaged row can place a field outside its page.
    if (field.siz < 0 || field.start < 0 || field.start + field.siz > m_mdb->fmt->pg_size)
        return false;

    const unsigned char *p = m_mdb->pg_buf + field.start;
    int size = field.siz;
    QByteArray longBytes;
    if (value.type == MDB_MEMO || value.type == MDB_OLE) {
        longBytes = longValue(field);
        p = reinterpret_cast<const unsigned char *>(longBytes.constData());
        size = int(longBytes.size());
    }
    if (value.calculated) {
        if (!mdbvalue::unwrapCalculated(p, size, &p, &size))
            return false;
        // An expression whose result is null stores no value.
        if (size == 0)
            return sqlite3_bind_null(stmt, at) == SQLITE_OK;
    }
    return bindValue(stmt, at, value, p, size);
}

// Binds one value of its column's type from its bytes.
bool Importer::bindValue(sqlite3_stmt *stmt, int at, const ColumnValue &value, const unsigned char *p, int size)
{
    auto needs = [size](int bytes) { return size >= bytes; };
    auto bindText = [stmt, at](const QByteArray &text) {
        // Null text is a value that does not decode: a damaged field.
        return !text.isNull()
            && sqlite3_bind_text64(stmt, at, text.constData(), sqlite3_uint64(text.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8)
            == SQLITE_OK;
    };
    switch (value.type) {
    case MDB_BOOL:
        return needs(1) && sqlite3_bind_int(stmt, at, p[0] != 0 ? 1 : 0) == SQLITE_OK;
    case MDB_BYTE:
        return needs(1) && sqlite3_bind_int(stmt, at, p[0]) == SQLITE_OK;
    case MDB_INT:
        return needs(2) && sqlite3_bind_int(stmt, at, int16At(p)) == SQLITE_OK;
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return needs(4) && sqlite3_bind_int(stmt, at, int32At(p)) == SQLITE_OK;
    case MDB_MONEY:
        // Ten-thousandths of a currency unit.
        return needs(8) && sqlite3_bind_double(stmt, at, double(int64At(p)) / 10000.0) == SQLITE_OK;
    case MDB_FLOAT:
        return needs(4)
            && sqlite3_bind_double(stmt, at, mdbvalue::singleAsDouble(floatAt(p))) == SQLITE_OK;
    case MDB_DOUBLE:
        return needs(8) && sqlite3_bind_double(stmt, at, doubleAt(p)) == SQLITE_OK;
    case MDB_DATETIME: {
        if (!needs(8))
            return false;
        const double days = doubleAt(p);
        const QByteArray text = mdbvalue::dateText(days);
        if (text.isNull())
            return sqlite3_bind_double(stmt, at, days) == SQLITE_OK;
        return bindText(text);
    }
    case mdbvalue::kExtendedDateTime:
        return bindText(mdbvalue::extendedDateText(p, size));
    case MDB_TEXT:
    case MDB_MEMO:
        return bindText(decodeText(p, size));
    case MDB_REPID:
        return needs(16) && bindText(mdbvalue::guidText(p));
    case MDB_NUMERIC:
        return bindText(value.calculated ? mdbvalue::calculatedDecimalText(p, size)
                                         : mdbvalue::decimalText(p, size, value.scale));
    default:
        return sqlite3_bind_blob64(stmt, at, p, sqlite3_uint64(size), SQLITE_TRANSIENT) == SQLITE_OK;
    }
}

QStringList Importer::primaryKey(MdbTableDef *table) const
{
    for (unsigned i = 0; i < table->num_idxs; ++i) {
        const auto *index = static_cast<const MdbIndex *>(g_ptr_array_index(table->indices, i));
        if (index->index_type != 1 || index->num_keys == 0)
            continue;
        QStringList key;
        for (unsigned k = 0; k < index->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            const int number = index->key_col_num[k];
            if (number < 1 || unsigned(number) > table->num_cols)
                return QStringList();
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, number - 1));
            key.append(QString::fromUtf8(column->name));
        }
        return key;
    }
    return QStringList();
}

bool Importer::copyTable(MdbCatalogEntry *entry, MdbTableDef *table, bool withKey, qint64 *rows)
{
    const QString tableName = QString::fromUtf8(entry->object_name);
    const int columns = int(table->num_cols);
    checkColumnNames(table, m_fileName, tableName);
    QStringList definitions;
    QStringList names;
    for (int c = 0; c < columns; ++c) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
        const QString name = quoteIdentifier(QString::fromUtf8(column->name));
        names.append(name);
        definitions.append(name + u' ' + declaredType(column));
    }
    if (withKey) {
        QStringList key = primaryKey(table);
        if (!key.isEmpty()) {
            for (QString &k : key)
                k = quoteIdentifier(k);
            definitions.append(QStringLiteral("PRIMARY KEY (%1)").arg(key.join(QStringLiteral(", "))));
        }
    }
    exec(QStringLiteral("CREATE TABLE %1 (%2)")
             .arg(quoteIdentifier(tableName), definitions.join(QStringLiteral(", "))));
    if (columns == 0)
        return true;

    QStringList marks;
    for (int c = 0; c < columns; ++c)
        marks.append(QStringLiteral("?"));
    const QByteArray insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoteIdentifier(tableName), names.join(u','), marks.join(u','))
                                  .toUtf8();
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, insert.constData(), int(insert.size()), &raw, nullptr) != SQLITE_OK)
        failTarget();
    const StatementPtr stmt(raw);

    QVector<MdbField> fields(columns);
    mdb_rewind_table(table);
    qint64 copied = 0;
    while (mdb_read_next_dpg(table)) {
        const int count = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
        for (int r = 0; r < count; ++r) {
            // The page may be replaced by a memo's page while the row is
            // read; libmdb swaps it back before returning.
            int start = 0;
            size_t length = 0;
            if (mdb_find_row(m_mdb, r, &start, &length) != 0 || length == 0)
                continue;
            if (start & kRowDeleted)
                continue;
            start &= kRowOffsetMask;
            // A row that cannot be taken apart is damage, not a row to
            // leave out without a word.
            if (mdb_crack_row(table, start, length, fields.data()) < 0)
                fail(QStringLiteral("a row of table '%1' is damaged").arg(tableName));
            for (int f = 0; f < columns; ++f) {
                const MdbField &field = fields[f];
                if (field.colnum < 0 || field.colnum >= columns)
                    fail(QStringLiteral("a row of table '%1' does not match its columns").arg(tableName));
                auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, field.colnum));
                if (!bindField(stmt.get(), field.colnum + 1, column, field)) {
                    fail(QStringLiteral("a field of column '%1' in table '%2' is damaged")
                             .arg(QString::fromUtf8(column->name), tableName));
                }
            }
            const int rc = sqlite3_step(stmt.get());
            if (rc != SQLITE_DONE) {
                if ((rc & 0xff) == SQLITE_CONSTRAINT && withKey)
                    return false;
                failTarget();
            }
            sqlite3_reset(stmt.get());
            sqlite3_clear_bindings(stmt.get());
            ++copied;
        }
    }
    // A data page that no longer reads as one of this table's pages is
    // passed over by libmdb; the count in the table's definition tells.
    if (copied < qint64(table->num_rows)) {
        fail(QStringLiteral("table '%1' gave %2 rows where its definition counts %3; the file is damaged")
                 .arg(tableName).arg(copied).arg(table->num_rows));
    }
    *rows += copied;
    return true;
}

void Importer::run(AccessImport *result)
{
    readCheckedCatalog(m_mdb, m_fileName);
    result->notes += leftOutNotes(m_mdb);
    checkLibraryOutput();
    exec(QStringLiteral("BEGIN"));
    for (unsigned i = 0; i < m_mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(m_mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        const TablePtr table(mdb_read_table(entry));
        if (!table)
            fail(QStringLiteral("table '%1' cannot be read").arg(QString::fromUtf8(entry->object_name)));
        if (!mdb_read_columns(table.get()))
            fail(QStringLiteral("the columns of table '%1' cannot be read").arg(QString::fromUtf8(entry->object_name)));
        // A damaged index list leaves libmdb's count of indexes without
        // the indexes themselves.
        mdb_read_indices(table.get());
        if (table->num_idxs > 0 && (!table->indices || table->indices->len < table->num_idxs))
            fail(QStringLiteral("the indexes of table '%1' cannot be read").arg(QString::fromUtf8(entry->object_name)));
        qint64 rows = 0;
        if (!copyTable(entry, table.get(), true, &rows)) {
            // Rows that break the key the file declares (a damaged index):
            // the table is copied as it stands, without a key.
            exec(QStringLiteral("DROP TABLE %1").arg(quoteIdentifier(QString::fromUtf8(entry->object_name))));
            rows = 0;
            copyTable(entry, table.get(), false, &rows);
        }
        checkLibraryOutput();
        result->tableRows.append(ImportedTable{QString::fromUtf8(entry->object_name), rows});
    }
    exec(QStringLiteral("COMMIT"));
}

} // namespace

AccessImport importAccessFile(const QString &fileName, sqlite3 *target, const QString &targetName)
{
    // libmdb converts text to the charset named by MDB_ICONV when the file
    // is opened; the copy needs UTF-8 whatever the environment says.
    const QByteArray savedIconv = qgetenv("MDB_ICONV");
    const bool hadIconv = qEnvironmentVariableIsSet("MDB_ICONV");
    qputenv("MDB_ICONV", QByteArrayLiteral("UTF-8"));
    const QByteArray path = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    LibraryOutput output;
    MdbPtr mdb(mdb_open(path.constData(), MDB_NOFLAGS));
    if (hadIconv)
        qputenv("MDB_ICONV", savedIconv);
    else
        qunsetenv("MDB_ICONV");
    if (!mdb)
        throw Failure(QStringLiteral("Could not read the Access file '%1': it is damaged or of an unknown version.").arg(fileName));

    AccessImport result;
    Importer importer(fileName, mdb.get(), target, targetName, &output);
    try {
        importer.run(&result);
    } catch (...) {
        sqlite3_exec(target, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return result;
}

} // namespace rux
