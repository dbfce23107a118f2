#include "db/pgstatement.h"

#include "db/keepalive.h"
#include "script/failure.h"
#include "script/textfold.h"
#include "db/tablename.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QDate>
#include <QDateTime>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include "db/postgres/libpq.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <poll.h>
#endif

namespace rux::pg {

namespace {

constexpr unsigned kBoolOid = 16;
constexpr unsigned kBitOid = 1560;
constexpr unsigned kNumericOid = 1700;

const QLatin1String kNoValue("No value given for one or more required parameters.");

PGconn *handleOf(const QSqlDatabase &db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the type by its typedef or by the struct behind it,
    // depending on the Qt version.
    if (!h.isValid()
        || (qstrcmp(h.typeName(), "PGconn*") != 0 && qstrcmp(h.typeName(), "pg_conn*") != 0))
        throw Failure(QStringLiteral("The connection is not open on a PostgreSQL server."));
    PGconn *conn = *static_cast<PGconn *const *>(h.constData());
    if (!conn)
        throw Failure(QStringLiteral("The connection is not open on a PostgreSQL server."));
    return conn;
}

// "ERROR:  text" -> "text": the severity word (in the server's language)
// ends with ":" and two blanks.
QString withoutSeverity(const QString &line)
{
    const qsizetype at = line.indexOf(QLatin1String(":  "));
    if (at > 0) {
        bool word = true;
        for (qsizetype i = 0; i < at; ++i) {
            if (!line[i].isLetter()) {
                word = false;
                break;
            }
        }
        if (word)
            return line.mid(at + 3);
    }
    return line;
}

QString joined(const QString &primary, const QString &detail)
{
    return detail.isEmpty() ? primary : primary + QStringLiteral(": ") + detail;
}

QString resultText(PGconn *conn, const PGresult *res)
{
    const Libpq &pq = libpq();
    if (res) {
        const char *primary = pq.PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
        const char *detail = pq.PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL);
        if (primary) {
            return joined(QString::fromUtf8(primary),
                          detail ? QString::fromUtf8(detail) : QString());
        }
    }
    return withoutSeverity(QString::fromUtf8(pq.PQerrorMessage(conn)).trimmed())
        .replace(u'\n', u' ');
}

QString sqlState(const PGresult *res)
{
    const char *state = res ? libpq().PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    return state ? QString::fromLatin1(state) : QString();
}

struct ResultGuard
{
    const Libpq &pq;
    PGresult *res;
    ~ResultGuard() { pq.PQclear(res); }
};

bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

bool isTagStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c.unicode() >= 0x80;
}

bool isTagChar(QChar c)
{
    return isTagStart(c) || (c >= u'0' && c <= u'9');
}

// The stretches of `s` the server does not read as statement text:
// comments (nested /* */ too), string literals ('...', E'...' with its
// backslash escapes), quoted names and dollar-quoted strings.
QVector<QPair<qsizetype, qsizetype>> hiddenRanges(QStringView s)
{
    QVector<QPair<qsizetype, qsizetype>> ranges;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s[i];
        const qsizetype begin = i;
        if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n' && s[i] != u'\r')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            int depth = 0;
            while (i < n) {
                if (s[i] == u'/' && i + 1 < n && s[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (s[i] == u'*' && i + 1 < n && s[i + 1] == u'/') {
                    i += 2;
                    if (--depth == 0)
                        break;
                } else {
                    ++i;
                }
            }
        } else if (c == u'\'') {
            const bool escapes = i > 0 && (s[i - 1] == u'e' || s[i - 1] == u'E')
                && (i < 2 || !isIdentChar(s[i - 2]));
            ++i;
            while (i < n) {
                if (escapes && s[i] == u'\\') {
                    i += 2;
                } else if (s[i] == u'\'') {
                    if (i + 1 < n && s[i + 1] == u'\'') {
                        i += 2;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    ++i;
                }
            }
        } else if (c == u'"') {
            const qsizetype close = s.indexOf(u'"', i + 1);
            i = close < 0 ? n : close + 1;
        } else if (c == u'$' && (i == 0 || !isIdentChar(s[i - 1]))) {
            qsizetype j = i + 1;
            if (j < n && isTagStart(s[j])) {
                while (j < n && isTagChar(s[j]))
                    ++j;
            }
            if (j < n && s[j] == u'$') {
                const QStringView tag = s.mid(i, j + 1 - i);
                const qsizetype close = s.indexOf(tag, j + 1);
                i = close < 0 ? n : close + tag.size();
            } else {
                ++i;
                continue;
            }
        } else {
            ++i;
            continue;
        }
        ranges.append({begin, std::min(i, n)});
    }
    return ranges;
}

QString catalogText(const QSqlQuery &q)
{
    return serverText(q.lastError());
}

QSqlQuery runCatalog(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw Failure(catalogText(q));
    return q;
}

Table tableByOid(const QSqlDatabase &db, unsigned oid, QVector<int> *attnums)
{
    Table t;
    QSqlQuery rel = runCatalog(
        db, QStringLiteral("SELECT n.nspname, c.relname, c.relkind FROM pg_catalog.pg_class c "
                           "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = %1")
                .arg(oid));
    if (!rel.next())
        return t;
    t.exists = true;
    t.schema = rel.value(0).toString();
    t.table = rel.value(1).toString();
    const QString kind = rel.value(2).toString();
    t.isView = kind != QLatin1String("r") && kind != QLatin1String("p");

    QSqlQuery cols = runCatalog(
        db, QStringLiteral("SELECT attnum, attname FROM pg_catalog.pg_attribute WHERE attrelid = %1 "
                           "AND attnum > 0 AND NOT attisdropped ORDER BY attnum")
                .arg(oid));
    while (cols.next()) {
        if (attnums)
            attnums->append(cols.value(0).toInt());
        t.columns.append(cols.value(1).toString());
    }

    QSqlQuery key = runCatalog(
        db, QStringLiteral("SELECT a.attname FROM pg_catalog.pg_index i "
                           "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord) "
                           "JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
                           "WHERE i.indrelid = %1 AND i.indisprimary ORDER BY k.ord")
                .arg(oid));
    while (key.next())
        t.primaryKey.append(key.value(0).toString());
    return t;
}

} // namespace

void dropNotices(const QSqlDatabase &db)
{
    libpq().PQsetNoticeProcessor(handleOf(db), [](void *, const char *) {}, nullptr);
}

bool inTransaction(const QSqlDatabase &db)
{
    const PGTransactionStatusType status = libpq().PQtransactionStatus(handleOf(db));
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

QString serverText(const QSqlError &error)
{
    const QString text = error.databaseText();
    if (text.trimmed().isEmpty())
        return error.text();
    const QStringList lines = text.split(u'\n');
    // A connection failure is libpq's own text, which may span lines.
    if (error.type() == QSqlError::ConnectionError) {
        QStringList parts;
        for (const QString &line : lines) {
            const QString t = line.trimmed();
            if (!t.isEmpty())
                parts.append(t);
        }
        return parts.join(u' ');
    }
    const QString primary = withoutSeverity(lines.front().trimmed());
    QString detail;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1String("DETAIL:  "))) {
            detail = lines[i].mid(9).trimmed();
            break;
        }
    }
    return joined(primary, detail);
}

void refuseParameterMarks(const QString &sent, const QList<qsizetype> &markPositions)
{
    if (markPositions.isEmpty())
        return;
    const auto hidden = hiddenRanges(sent);
    for (qsizetype pos : markPositions) {
        const bool inside = std::any_of(hidden.cbegin(), hidden.cend(), [pos](const auto &r) {
            return pos >= r.first && pos < r.second;
        });
        if (!inside)
            throw Failure(kNoValue);
    }
}

QVector<Column> describe(const QSqlDatabase &db, const QString &statement)
{
    if (statement.contains(QChar(u'\0')))
        throw Failure(QStringLiteral("The command text holds a NUL character."));
    const Libpq &pq = libpq();
    PGconn *conn = handleOf(db);
    // Rows of a result that nobody reads any more would keep the
    // connection busy.
    while (PGresult *left = pq.PQgetResult(conn))
        pq.PQclear(left);

    const QByteArray text = statement.toUtf8();
    {
        ResultGuard parsed{pq, pq.PQprepare(conn, "", text.constData(), 0, nullptr)};
        if (pq.PQresultStatus(parsed.res) != PGRES_COMMAND_OK) {
            // A parameter the server cannot even type ("select $1").
            if (sqlState(parsed.res) == QLatin1String("42P18"))
                throw Failure(kNoValue);
            throw Failure(resultText(conn, parsed.res));
        }
    }
    ResultGuard described{pq, pq.PQdescribePrepared(conn, "")};
    if (pq.PQresultStatus(described.res) != PGRES_COMMAND_OK)
        throw Failure(resultText(conn, described.res));
    if (pq.PQnparams(described.res) > 0)
        throw Failure(kNoValue);
    QVector<Column> columns;
    const int count = pq.PQnfields(described.res);
    columns.reserve(count);
    for (int i = 0; i < count; ++i) {
        Column c;
        c.table = pq.PQftable(described.res, i);
        c.attnum = pq.PQftablecol(described.res, i);
        c.type = pq.PQftype(described.res, i);
        c.typmod = pq.PQfmod(described.res, i);
        columns.append(c);
    }
    return columns;
}

bool isYesNo(const Column &column)
{
    return column.type == kBoolOid || (column.type == kBitOid && column.typmod == 1);
}

bool isDecimal(const Column &column)
{
    return column.type == kNumericOid;
}

Table tableNamed(const QSqlDatabase &db, const QString &schema, const QString &table)
{
    QStringList candidates;
    const QString prefix = schema.isNull() ? QString() : quoteIdentifier(schema) + u'.';
    candidates.append(prefix + quoteIdentifier(table));
    const QString lowerPrefix = schema.isNull() ? QString() : quoteIdentifier(asciiLower(schema)) + u'.';
    const QString lower = lowerPrefix + quoteIdentifier(asciiLower(table));
    if (lower != candidates.front())
        candidates.append(lower);

    for (const QString &name : candidates) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT to_regclass(?)::oid"));
        q.addBindValue(name);
        if (!q.exec())
            throw Failure(catalogText(q));
        if (q.next() && !q.value(0).isNull())
            return tableByOid(db, q.value(0).toUInt(), nullptr);
    }
    return Table();
}

Origin originOf(const QSqlDatabase &db, const QVector<Column> &columns)
{
    Origin origin;
    if (columns.isEmpty())
        return origin;
    const unsigned oid = columns.front().table;
    for (const Column &c : columns) {
        if (c.table == 0 || c.table != oid || c.attnum <= 0)
            return origin;
    }
    QVector<int> attnums;
    Table t = tableByOid(db, oid, &attnums);
    if (!t.exists)
        return origin;
    QStringList names;
    for (const Column &c : columns) {
        const qsizetype at = attnums.indexOf(c.attnum);
        if (at < 0)
            return origin;
        names.append(t.columns[at]);
    }
    origin.table = std::move(t);
    origin.columns = std::move(names);
    return origin;
}

namespace {

// A value as the text the server reads for a parameter of any type; an
// unset QByteArray stands for NULL.
QByteArray parameterText(const QVariant &value)
{
    if (value.isNull())
        return QByteArray();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Double:
        return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::Float:
        return QByteArray::number(double(value.toFloat()), 'g', 9);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QByteArray:
        return QByteArrayLiteral("\\x") + value.toByteArray().toHex();
    default:
        return value.toString().toUtf8();
    }
}

} // namespace

Outcome runCommand(const QSqlDatabase &db, const QString &command, const QVector<QVariant> &parameters)
{
    const Libpq &pq = libpq();
    PGconn *conn = handleOf(db);
    while (PGresult *left = pq.PQgetResult(conn))
        pq.PQclear(left);

    const QByteArray text = command.toUtf8();
    QVector<QByteArray> values;
    QVector<const char *> pointers;
    for (const QVariant &p : parameters) {
        values.append(parameterText(p));
        pointers.append(values.back().isNull() ? nullptr : values.back().constData());
    }
    Outcome outcome;
    if (!pq.PQsendQueryParams(conn, text.constData(), int(pointers.size()), nullptr, pointers.constData(),
                              nullptr, nullptr, 0)) {
        outcome.text = resultText(conn, nullptr);
        return outcome;
    }
#ifndef Q_OS_WIN
    // The answer is awaited on the connection's socket, the windows kept
    // alive meanwhile; a broken connection shows in the result below.
    const int socket = pq.PQsocket(conn);
    while (socket >= 0 && pq.PQisBusy(conn)) {
        pollfd ready{socket, POLLIN, 0};
        if (poll(&ready, 1, 20) < 0 && errno != EINTR)
            break;
        if (!pq.PQconsumeInput(conn))
            break;
        keepalive::check();
    }
#endif
    outcome.ok = true;
    while (PGresult *res = pq.PQgetResult(conn)) {
        ResultGuard guard{pq, res};
        const ExecStatusType status = pq.PQresultStatus(res);
        if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
            if (outcome.ok) {
                outcome.ok = false;
                outcome.text = resultText(conn, res);
                outcome.sqlState = sqlState(res);
            }
            continue;
        }
        bool counted = false;
        outcome.rowsAffected = QByteArray(pq.PQcmdTuples(res)).toLongLong(&counted);
        if (!counted)
            outcome.rowsAffected = -1;
        if (status == PGRES_TUPLES_OK && pq.PQntuples(res) > 0) {
            for (int c = 0; c < pq.PQnfields(res); ++c) {
                outcome.firstRow.append(pq.PQgetisnull(res, 0, c)
                                            ? QString()
                                            : QString::fromUtf8(pq.PQgetvalue(res, 0, c)));
            }
        }
    }
    return outcome;
}

} // namespace rux::pg
