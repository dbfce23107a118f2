#include "tests/support/otherconnection.h"

#include "db/postgres/pgvalue.h"

#include <QFile>
#include <QTest>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace rux::test {

// One engine's connection: the rows of a statement as values, a null
// value as an invalid QVariant.
class OtherConnection::Engine
{
public:
    virtual ~Engine() = default;
    // The engine's text when `sql` fails; `rows` gets the rows when given.
    virtual QString exec(const QString &sql, QList<QVariantList> *rows) = 0;
};

namespace {

bool isServerUri(const QString &database)
{
    return database.startsWith(QLatin1String("postgresql://")) || database.startsWith(QLatin1String("postgres://"));
}

class SqliteFile : public OtherConnection::Engine
{
public:
    SqliteFile(const QString &file, const OtherOptions &options, QString *error)
    {
        const int flags = options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, flags, nullptr) != SQLITE_OK)
            *error = QString::fromUtf8(sqlite3_errmsg(m_db));
        else
            sqlite3_busy_timeout(m_db, options.busyTimeoutMs);
    }
    ~SqliteFile() override { sqlite3_close(m_db); }

    QString exec(const QString &sql, QList<QVariantList> *rows) override
    {
        const QByteArray text = sql.toUtf8();
        const char *rest = text.constData();
        while (*rest) {
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(m_db, rest, -1, &stmt, &rest) != SQLITE_OK)
                return QString::fromUtf8(sqlite3_errmsg(m_db));
            if (!stmt)
                continue;
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                if (rows)
                    rows->append(row(stmt));
            }
            sqlite3_finalize(stmt);
            if (rc != SQLITE_DONE)
                return QString::fromUtf8(sqlite3_errmsg(m_db));
        }
        return QString();
    }

private:
    static QVariantList row(sqlite3_stmt *stmt)
    {
        QVariantList fields;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                fields.append(qlonglong(sqlite3_column_int64(stmt, i)));
                break;
            case SQLITE_FLOAT:
                fields.append(sqlite3_column_double(stmt, i));
                break;
            case SQLITE_NULL:
                fields.append(QVariant());
                break;
            case SQLITE_BLOB:
                fields.append(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                                         sqlite3_column_bytes(stmt, i)));
                break;
            default:
                fields.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)),
                                                sqlite3_column_bytes(stmt, i)));
            }
        }
        return fields;
    }

    sqlite3 *m_db = nullptr;
};

class Server : public OtherConnection::Engine
{
public:
    Server(const QString &uri, QString *error) : m_conn(PQconnectdb(uri.toUtf8().constData()))
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            *error = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        else
            exec(QStringLiteral("SET client_min_messages = warning"), nullptr);
    }
    ~Server() override { PQfinish(m_conn); }

    QString exec(const QString &sql, QList<QVariantList> *rows) override
    {
        PGresult *result = PQexec(m_conn, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(result);
        QString failure;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            failure = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
            if (failure.isEmpty())
                failure = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        } else if (rows) {
            for (int r = 0; r < PQntuples(result); ++r) {
                QVariantList fields;
                for (int c = 0; c < PQnfields(result); ++c)
                    fields.append(field(result, r, c));
                rows->append(fields);
            }
        }
        PQclear(result);
        return failure;
    }

private:
    static QVariant field(PGresult *result, int row, int column)
    {
        if (PQgetisnull(result, row, column))
            return QVariant();
        const QString text = QString::fromUtf8(PQgetvalue(result, row, column), PQgetlength(result, row, column));
        switch (PQftype(result, column)) {
        case pg::kBoolOid:
            return text == u't';
        case pg::kInt8Oid:
        case pg::kInt2Oid:
        case pg::kInt4Oid:
            return text.toLongLong();
        case pg::kFloat4Oid:
        case pg::kFloat8Oid:
        case pg::kNumericOid:
            return text.toDouble();
        default:
            return text;
        }
    }

    PGconn *m_conn;
};

} // namespace

OtherConnection::OtherConnection(const QString &database, const OtherOptions &options)
{
    if (isServerUri(database))
        m_engine = std::make_unique<Server>(database, &m_error);
    else
        m_engine = std::make_unique<SqliteFile>(database, options, &m_error);
}

OtherConnection::~OtherConnection() = default;

QString OtherConnection::run(const QStringList &statements)
{
    if (!m_error.isEmpty())
        return m_error;
    for (const QString &s : statements) {
        const QString failure = m_engine->exec(s, nullptr);
        if (!failure.isEmpty())
            return s + QStringLiteral(": ") + failure;
    }
    return QString();
}

QString OtherConnection::values(const QString &sql)
{
    if (!m_error.isEmpty())
        return QStringLiteral("<open failed: %1>").arg(m_error);
    QList<QVariantList> rows;
    const QString failure = m_engine->exec(sql, &rows);
    if (!failure.isEmpty())
        return QStringLiteral("<sql failed: %1>").arg(failure);
    QStringList lines;
    for (const QVariantList &row : rows) {
        QStringList fields;
        for (const QVariant &field : row)
            fields.append(field.isNull() ? QStringLiteral("NULL") : field.toString());
        lines.append(fields.join(u'|'));
    }
    return lines.join(u',');
}

QVariant OtherConnection::value(const QString &sql)
{
    if (!m_error.isEmpty())
        return QStringLiteral("error: ") + m_error;
    QList<QVariantList> rows;
    const QString failure = m_engine->exec(sql, &rows);
    if (!failure.isEmpty())
        return QStringLiteral("error: ") + failure;
    if (rows.isEmpty() || rows.first().isEmpty())
        return QStringLiteral("error: no row");
    return rows.first().first();
}

QString sqlValues(const QString &database, const QString &sql, const OtherOptions &options)
{
    return OtherConnection(database, options).values(sql);
}

QVariant sqlValue(const QString &database, const QString &sql)
{
    return OtherConnection(database).value(sql);
}

void runSql(const QString &database, const QStringList &statements)
{
    const QString failed = OtherConnection(database).run(statements);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void makeDatabase(const QString &database, const QStringList &statements)
{
    const QString failed = OtherConnection(database).run(statements);
    if (!failed.isEmpty())
        qFatal("fixture %s: %s", qPrintable(database), qPrintable(failed));
}

} // namespace rux::test
