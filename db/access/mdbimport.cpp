#include "db/access/mdbimport.h"

#include "db/databasefile.h"

#include <QFile>

#ifndef Q_OS_WIN

#include "script/failure.h"
#include "db/tablename.h"

#include <QByteArray>
#include <QDate>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <QtEndian>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include <mdbtools.h>
#include <sqlite3.h>

#endif

namespace rux {

bool isAccessFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && isAccessHead(file.read(kDatabaseHeadSize));
}

#ifndef Q_OS_WIN

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

// The Access engine's range of dates: 100-01-01 to 9999-12-31 23:59:59.
constexpr double kFirstAccessDate = -657434.0;
constexpr double kLastAccessDate = 2958466.0;

struct MdbCloser
{
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableCloser
{
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
struct StatementCloser
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// The declared type of a column's copy.
const char *declaredType(int columnType)
{
    switch (columnType) {
    case MDB_BOOL: return "BOOLEAN";
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX: return "INTEGER";
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE: return "REAL";
    case MDB_DATETIME:
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_REPID: return "TEXT";
    case MDB_NUMERIC: return "NUMERIC";
    default: return "BLOB";
    }
}

QString sqliteText(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Little-endian integers of a page buffer.
qint64 int64At(const unsigned char *p)
{
    return qFromLittleEndian<qint64>(p);
}
qint32 int32At(const unsigned char *p)
{
    return qFromLittleEndian<qint32>(p);
}
quint32 uint32At(const unsigned char *p)
{
    return qFromLittleEndian<quint32>(p);
}
qint16 int16At(const unsigned char *p)
{
    return qFromLittleEndian<qint16>(p);
}
double doubleAt(const unsigned char *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
float floatAt(const unsigned char *p)
{
    const quint32 bits = qFromLittleEndian<quint32>(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A single as the double of its shortest decimal text: 0.1f becomes 0.1,
// not 0.100000001490116.
double singleAsDouble(float value)
{
    if (!std::isfinite(value))
        return double(value);
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double d = double(value);
    std::from_chars(text, written.ptr, d);
    return d;
}

// An Access date/time: days since 1899-12-30, the fraction the time of
// day; before that day the whole part counts back while the fraction
// still counts forward (-1.25 is 1899-12-29 06:00). Null text outside the
// engine's range.
QByteArray dateText(double value)
{
    if (!std::isfinite(value) || value < kFirstAccessDate || value >= kLastAccessDate)
        return QByteArray();
    const double days = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - days) * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    if (seconds >= 86400) {
        seconds -= 86400;
        date = date.addDays(1);
    }
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year(),
                                date.month(), date.day(), int(seconds / 3600),
                                int(seconds / 60 % 60), int(seconds % 60));
    return QByteArray(text, n);
}

class Importer
{
public:
    Importer(const QString &fileName, MdbHandle *mdb, sqlite3 *db, const QString &targetName)
        : m_fileName(fileName), m_targetName(targetName), m_mdb(mdb), m_db(db)
    {
    }

    void run(AccessImport *result);

private:
    [[noreturn]] void fail(const QString &what) const;
    // A failure of the copy's own database.
    [[noreturn]] void failTarget() const;
    void exec(const QString &sql);
    // Creates the table and copies its rows; false when a row broke the
    // primary key (the table is then left out and the caller copies it
    // again without one).
    bool copyTable(MdbCatalogEntry *entry, MdbTableDef *table, bool withKey, qint64 *rows);
    QStringList primaryKey(MdbTableDef *table) const;
    // Reads the catalog and checks it against the file: a file cut short
    // (an interrupted copy) can lose catalog rows and tables without
    // libmdb noticing.
    void checkFile();
    // A damaged definition can give a column without a name, or two of one.
    void checkColumnNames(MdbTableDef *table, const QString &tableName) const;
    bool bindField(sqlite3_stmt *stmt, int at, MdbColumn *column, const MdbField &field);
    QByteArray longValue(const MdbField &field);
    const QByteArray &decodeText(const char *src, size_t length);

    const QString m_fileName;
    const QString m_targetName;
    MdbHandle *m_mdb;
    sqlite3 *m_db;
    QByteArray m_text;
};

void Importer::fail(const QString &what) const
{
    throw Failure(QStringLiteral("Could not read the Access file '%1': %2").arg(m_fileName, what));
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

// Text fields come in the file's encoding (UTF-16 with the engine's
// one-byte compression in Jet 4 and ACE, the file's code page in Jet 3);
// libmdb turns them into UTF-8 (the handle is opened with UTF-8 as its
// target). UTF-8 takes at most three bytes for each byte of either source.
const QByteArray &Importer::decodeText(const char *src, size_t length)
{
    const size_t room = 3 * length + 8;
    if (size_t(m_text.size()) < room)
        m_text.resize(qsizetype(room));
    const int n = mdb_unicode2ascii(m_mdb, src, length, m_text.data(), room);
    m_text.truncate(qMax(0, n));
    return m_text;
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
    // A yes/no field keeps its value in the row's null mask: a set bit
    // (read as "not null") is yes. It is never null.
    if (column->col_type == MDB_BOOL)
        return sqlite3_bind_int(stmt, at, field.is_null ? 0 : 1) == SQLITE_OK;
    if (field.is_null)
        return sqlite3_bind_null(stmt, at) == SQLITE_OK;
    // A damaged row can place a field outside its page.
    if (field.siz < 0 || field.start < 0 || field.start + field.siz > m_mdb->fmt->pg_size)
        return false;

    const unsigned char *p = m_mdb->pg_buf + field.start;
    const int size = field.siz;
    auto needs = [size](int bytes) { return size >= bytes; };
    switch (column->col_type) {
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
        return needs(4) && sqlite3_bind_double(stmt, at, singleAsDouble(floatAt(p))) == SQLITE_OK;
    case MDB_DOUBLE:
        return needs(8) && sqlite3_bind_double(stmt, at, doubleAt(p)) == SQLITE_OK;
    case MDB_DATETIME: {
        if (!needs(8))
            return false;
        const double value = doubleAt(p);
        const QByteArray text = dateText(value);
        if (text.isNull())
            return sqlite3_bind_double(stmt, at, value) == SQLITE_OK;
        return sqlite3_bind_text(stmt, at, text.constData(), int(text.size()), SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    case MDB_TEXT: {
        const QByteArray &text = decodeText(reinterpret_cast<const char *>(p), size_t(size));
        return sqlite3_bind_text(stmt, at, text.constData(), int(text.size()), SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    case MDB_MEMO: {
        const QByteArray raw = longValue(field);
        const QByteArray &text = decodeText(raw.constData(), size_t(raw.size()));
        return sqlite3_bind_text64(stmt, at, text.constData(), sqlite3_uint64(text.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8)
            == SQLITE_OK;
    }
    case MDB_OLE: {
        const QByteArray raw = longValue(field);
        return sqlite3_bind_blob64(stmt, at, raw.constData(), sqlite3_uint64(raw.size()),
                                   SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    case MDB_REPID: {
        if (!needs(16))
            return false;
        char *text = mdb_uuid_to_string(m_mdb->pg_buf, field.start);
        const bool ok = sqlite3_bind_text(stmt, at, text, -1, SQLITE_TRANSIENT) == SQLITE_OK;
        g_free(text);
        return ok;
    }
    case MDB_NUMERIC: {
        if (!needs(17))
            return false;
        char *text = mdb_numeric_to_string(m_mdb, field.start, column->col_scale, column->col_prec);
        const bool ok = sqlite3_bind_text(stmt, at, text, -1, SQLITE_TRANSIENT) == SQLITE_OK;
        g_free(text);
        return ok;
    }
    default:
        return sqlite3_bind_blob(stmt, at, p, size, SQLITE_TRANSIENT) == SQLITE_OK;
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
    checkColumnNames(table, tableName);
    QStringList definitions;
    QStringList names;
    for (int c = 0; c < columns; ++c) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
        const QString name = quoteIdentifier(QString::fromUtf8(column->name));
        names.append(name);
        definitions.append(name + u' ' + QLatin1String(declaredType(column->col_type)));
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

void Importer::checkColumnNames(MdbTableDef *table, const QString &tableName) const
{
    QSet<QString> seen;
    for (unsigned c = 0; c < table->num_cols; ++c) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, c));
        const QString name = QString::fromUtf8(column->name).toCaseFolded();
        if (name.isEmpty() || seen.contains(name)) {
            fail(QStringLiteral("the column list of table '%1' is damaged: %2")
                     .arg(tableName, name.isEmpty() ? QStringLiteral("a column has no name")
                                                    : QStringLiteral("two columns are named '%1'")
                                                          .arg(QString::fromUtf8(column->name))));
        }
        seen.insert(name);
    }
}

void Importer::checkFile()
{
    const qint64 pageSize = m_mdb->fmt->pg_size;
    const qint64 fileSize = QFileInfo(m_fileName).size();
    // The engine writes whole pages only.
    if (pageSize <= 0 || fileSize % pageSize != 0)
        fail(QStringLiteral("it ends inside a page: the file was cut short"));
    const qint64 pages = fileSize / pageSize;
    if (!mdb_read_catalog(m_mdb, MDB_ANY))
        fail(QStringLiteral("its catalog cannot be read"));
    // The catalog is the table MSysObjects, whose definition is always on
    // page 2 and counts its rows.
    MdbCatalogEntry objects = {};
    objects.mdb = m_mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::strcpy(objects.object_name, "MSysObjects");
    const TablePtr definition(mdb_read_table(&objects));
    if (!definition)
        fail(QStringLiteral("its catalog cannot be read"));
    if (qint64(m_mdb->num_catalog) != qint64(definition->num_rows)) {
        fail(QStringLiteral("its catalog gave %1 objects where its definition counts %2; the file is damaged")
                 .arg(m_mdb->num_catalog).arg(definition->num_rows));
    }
    for (unsigned i = 0; i < m_mdb->num_catalog; ++i) {
        const auto *entry = static_cast<const MdbCatalogEntry *>(g_ptr_array_index(m_mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && qint64(entry->table_pg) >= pages) {
            fail(QStringLiteral("table '%1' lies on page %2, beyond the file's last page %3: the file was cut short")
                     .arg(QString::fromUtf8(entry->object_name)).arg(entry->table_pg).arg(pages - 1));
        }
    }
}

void Importer::run(AccessImport *result)
{
    checkFile();
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
        result->tableRows.append(ImportedTable{QString::fromUtf8(entry->object_name), rows});
    }
    exec(QStringLiteral("COMMIT"));
}

// libmdb tells of what it meets in a damaged file on standard output and
// standard error itself, in lines of its own. The program's failure says
// what went wrong; those lines would stand in a conversion's table listing
// and in the standard error of an unattended run, which holds only the
// program's own lines. While the library reads, both go nowhere.
class LibraryOutputSilenced
{
public:
    LibraryOutputSilenced()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0)
            return;
        for (int i = 0; i < 2; ++i) {
            m_saved[i] = ::fcntl(kStreams[i], F_DUPFD_CLOEXEC, 3);
            if (m_saved[i] >= 0)
                ::dup2(null, kStreams[i]);
        }
        ::close(null);
    }
    ~LibraryOutputSilenced()
    {
        // What the library left in the stream's buffer goes nowhere too.
        std::fflush(stdout);
        std::fflush(stderr);
        for (int i = 0; i < 2; ++i) {
            if (m_saved[i] >= 0) {
                ::dup2(m_saved[i], kStreams[i]);
                ::close(m_saved[i]);
            }
        }
    }
    LibraryOutputSilenced(const LibraryOutputSilenced &) = delete;
    LibraryOutputSilenced &operator=(const LibraryOutputSilenced &) = delete;

private:
    static constexpr int kStreams[2] = {STDOUT_FILENO, STDERR_FILENO};
    int m_saved[2] = {-1, -1};
};

} // namespace

AccessImport importAccessFile(const QString &fileName, sqlite3 *target, const QString &targetName)
{
    // libmdb converts text to the charset named by MDB_ICONV when the file
    // is opened; the copy needs UTF-8 whatever the environment says.
    const QByteArray savedIconv = qgetenv("MDB_ICONV");
    const bool hadIconv = qEnvironmentVariableIsSet("MDB_ICONV");
    qputenv("MDB_ICONV", QByteArrayLiteral("UTF-8"));
    const QByteArray path = QFile::encodeName(QFileInfo(fileName).absoluteFilePath());
    const LibraryOutputSilenced quiet;
    MdbPtr mdb(mdb_open(path.constData(), MDB_NOFLAGS));
    if (hadIconv)
        qputenv("MDB_ICONV", savedIconv);
    else
        qunsetenv("MDB_ICONV");
    if (!mdb)
        throw Failure(QStringLiteral("Could not read the Access file '%1': it is damaged or of an unknown version.").arg(fileName));

    AccessImport result;
    Importer importer(fileName, mdb.get(), target, targetName);
    try {
        importer.run(&result);
    } catch (...) {
        sqlite3_exec(target, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return result;
}

#endif

} // namespace rux
