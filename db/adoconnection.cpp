#include "adoconnection.h"

#include "accessconvert.h"
#include "connectionstring.h"
#include "databasefile.h"
#include "failure.h"
#include "keepalive.h"
#include "mdbimport.h"
#include "db/postgres/pgconninfo.h"
#include "pgstatement.h"
#include "textfold.h"

#include <QAbstractEventDispatcher>
#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace rux {

namespace {

QString nextQtConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("rux_connection_%1").arg(counter.fetchAndAddRelaxed(1));
}

// An SQLite URI that opens an existing file read-write and never creates
// one. Every character outside the unreserved set is percent-encoded, so
// blanks, "?", "#", "%" and ";" in a path are taken literally.
QString sqliteUri(const QString &absolutePath)
{
    return QStringLiteral("file:")
        + QString::fromLatin1(QUrl::toPercentEncoding(absolutePath, "/"))
        + QStringLiteral("?mode=rw");
}

} // namespace

AdoConnection::AdoConnection(const QString &objectName, QObject *parent)
    : QObject(parent), m_connectionString(defaultConnectionString()),
      m_qtName(nextQtConnectionName())
{
    setObjectName(objectName);
}

AdoConnection::~AdoConnection()
{
    Close();
}

QString AdoConnection::shownDataSource(const QString &dataSource)
{
    return pg::maskPassword(dataSource);
}

int AdoConnection::busyWait(void *connection, int count)
{
    auto *self = static_cast<AdoConnection *>(connection);
    if (count == 0)
        self->m_busySince.start();
    const qint64 waited = self->m_busySince.elapsed();
    if (waited >= kBusyTimeoutMs)
        return 0;
    // Short sleeps first, as the engine's own timeout has them: most locks
    // are held for a moment only.
    static constexpr int kDelaysMs[] = {1, 2, 5, 10, 15, 20};
    constexpr int kSteps = int(sizeof(kDelaysMs) / sizeof(kDelaysMs[0]));
    const qint64 delay = qMin<qint64>(kDelaysMs[qMin(count, kSteps - 1)], kBusyTimeoutMs - waited);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    keepalive::check();
    return 1;
}

void AdoConnection::watchStatements()
{
    sqlite3 *handle = sqliteHandle();
    if (!handle)
        return;
    // Every few thousand engine steps: a single step may run for long (a
    // large update, a sort).
    sqlite3_progress_handler(
        handle, 4000,
        [](void *) -> int {
            keepalive::tick();
            return 0;
        },
        nullptr);
    // Takes the place of the busy timeout the driver set: the same wait,
    // with the windows kept alive in between.
    sqlite3_busy_handler(handle, &AdoConnection::busyWait, this);
}

void AdoConnection::setConnectionString(const QString &connectionString)
{
    if (m_connected) {
        throw Failure(objectName()
                      + QStringLiteral(": Operation bei geöffneter Verbindung nicht zulässig"));
    }
    m_connectionString = connectionString;
}

void AdoConnection::Open()
{
    if (m_connected)
        return;
    // A path piece that looks like a known pair ("/d/a;mode=b.db") shows up
    // as a key given twice, or as a flag that holds more than its word:
    // refused as well, so that only the file the string names is opened.
    try {
        QStringList seen;
        for (const ConnectionPair &pair : parseConnectionString(m_connectionString)) {
            const QString key = asciiLower(pair.key.trimmed());
            const bool flagWithText = key == QLatin1String("persist security info")
                && pair.value.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0
                && pair.value.compare(QLatin1String("True"), Qt::CaseInsensitive) != 0;
            if (!isConnectionKey(pair.key) || seen.contains(key) || flagWithText) {
                throw Failure(QStringLiteral("Format of the connection string is invalid near \"%1=%2\".")
                                  .arg(pair.key, pair.value));
            }
            seen.append(key);
        }
    } catch (const Failure &) {
        // The text near the fault may be a piece of a server password.
        pg::refuseBrokenUri(m_connectionString);
        throw;
    }
    const QString fileName = dataSourceOf(m_connectionString);
    if (pg::isPostgresUri(fileName)) {
        openPostgres(fileName);
        m_engine = Engine::Postgres;
    } else if (isAccessFile(fileName)) {
        openAccess(fileName);
    } else {
        m_engine = Engine::Sqlite;
        openSqlite(fileName);
    }
    m_connected = true;
    if (runsOnSqlite()) {
        // Looked up once: every statement needs it, and the lookup goes
        // through the toolkit's list of connections.
        const QVariant h = database().driver()->handle();
        m_sqlite = *static_cast<sqlite3 *const *>(h.data());
    }
    watchStatements();
    // The event loop of this thread tells when the program waits for the
    // user. Connected once; a program without one never waits.
    if (!m_idleWatched) {
        if (QAbstractEventDispatcher *events = QAbstractEventDispatcher::instance(thread())) {
            connect(events, &QAbstractEventDispatcher::aboutToBlock, this, &AdoConnection::idle);
            m_idleWatched = true;
        }
    }
}

void AdoConnection::openPostgres(const QString &uri)
{
    const pg::ConnInfo info = pg::parseUri(uri);
    const QString shown = pg::maskPassword(uri);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        throw Failure(QStringLiteral("Could not open '%1': the PostgreSQL driver of Qt (QPSQL) is not installed.")
                          .arg(shown));
    }
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_qtName);
        try {
            pg::configure(db, info);
        } catch (const Failure &f) {
            failure = f.text();
        }
        if (failure.isEmpty() && !db.open())
            failure = pg::maskSecrets(pg::serverText(db.lastError()), uri);
        if (failure.isEmpty()) {
            pg::dropNotices(db);
            // A lock held by another session is waited for as long as an
            // SQLite file's busy timeout lasts, not for ever: a scheduled
            // run must end. A wait the server or the URI's options set
            // stays theirs.
            QSqlQuery limit(db);
            if (!uri.contains(QLatin1String("lock_timeout"), Qt::CaseInsensitive)
                && limit.exec(QStringLiteral("SHOW lock_timeout")) && limit.next()
                && limit.value(0).toString() == QLatin1String("0")) {
                limit.exec(QStringLiteral("SET lock_timeout = %1").arg(kBusyTimeoutMs));
            }
        }
        if (!failure.isEmpty())
            db = QSqlDatabase();
    }
    if (!failure.isEmpty()) {
        QSqlDatabase::removeDatabase(m_qtName);
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(shown, failure));
    }
}

void AdoConnection::openSqlite(const QString &fileName)
{
    if (!isSqliteHead(readDatabaseHead(fileName)))
        throw Failure(unrecognizedFormatText(fileName));
    const QFileInfo info(fileName);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
        db.setDatabaseName(sqliteUri(info.absoluteFilePath()));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(kBusyTimeoutMs));
        if (!db.open()) {
            const QString text = db.lastError().databaseText();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_qtName);
            throw Failure(QStringLiteral("Could not open '%1': %2").arg(fileName, text));
        }
        sqlite3 *handle = *static_cast<sqlite3 *const *>(db.driver()->handle().data());
        // Scripts come from files; extensions are never loaded from them.
        sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);

        // Reading the schema proves the file is a database the engine can
        // use (a damaged or encrypted file fails here, not in a script).
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const QString text = probe.lastError().databaseText();
            probe = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_qtName);
            throw Failure(QStringLiteral("Could not open '%1': %2").arg(fileName, text));
        }
    }
}

// The Access file is read once, whole, into a database of the connection's
// own; statements then run there with SQLite's SQL and the file is not
// touched again. Nothing can be written back (no engine on this platform
// writes these files), so the copy refuses every change.
void AdoConnection::openAccess(const QString &fileName)
{
#ifdef Q_OS_WIN
    // Windows has the engine itself: the Access ODBC driver opens the file
    // read-write. The file name goes in braces, so ";" in it stays part of
    // the name ("}" is doubled there).
    QString dbq = QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
    dbq.replace(QStringLiteral("}"), QStringLiteral("}}"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_qtName);
    db.setDatabaseName(QStringLiteral("Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ={%1}").arg(dbq));
    if (!db.open()) {
        const QString text = db.lastError().databaseText();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(fileName, text));
    }
    m_accessOnSqlite = false;
#else
    // Small files are copied into memory; a large one into a temporary
    // database on disk (the empty name), which SQLite removes on close.
    const bool inMemory = QFileInfo(fileName).size() <= kAccessInMemoryLimit;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
    db.setDatabaseName(inMemory ? QStringLiteral(":memory:") : QString());
    auto discard = [this, &db]() {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
    };
    if (!db.open()) {
        const QString text = db.lastError().databaseText();
        discard();
        throw Failure(QStringLiteral("Could not open '%1': %2").arg(fileName, text));
    }
    sqlite3 *handle = *static_cast<sqlite3 *const *>(db.driver()->handle().data());
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    // No other database file can be attached: the copy is all a script
    // on this connection reaches, and nothing creates a file.
    sqlite3_limit(handle, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_exec(handle, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    if (!inMemory)
        sqlite3_exec(handle, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    try {
        importAccessFile(fileName, handle);
    } catch (...) {
        discard();
        throw;
    }
    // Statements that change data are refused with a clear text before
    // they run (see readOnlyText()); this holds should one get past.
    sqlite3_exec(handle, "PRAGMA query_only=ON", nullptr, nullptr, nullptr);
    m_accessOnSqlite = true;
#endif
    m_engine = Engine::Access;
    m_accessFile = fileName;
}

QString AdoConnection::readOnlyText() const
{
    // The way out: the same data in an SQLite file, which takes changes.
    // The command ends in a quote, so the failure display adds no full stop
    // to it and it can be copied as it stands.
    return QStringLiteral("Cannot update. The Access file '%1' is opened read-only on this platform. "
                          "To change its data, convert it to an SQLite file once and open that: %2")
        .arg(m_accessFile, convertCommand(m_accessFile));
}

void AdoConnection::Close()
{
    if (!m_connected)
        return;
    Q_EMIT aboutToClose();
    {
        QSqlDatabase db = QSqlDatabase::database(m_qtName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
    m_connected = false;
    m_sqlite = nullptr;
    m_engine = Engine::Sqlite;
    m_accessOnSqlite = true;
}

void AdoConnection::runControl(const QString &statement)
{
    ensureOpen();
    announceStatement(this);
    if (runsOnSqlite()) {
        sqlite3 *handle = sqliteHandle();
        if (sqlite3_exec(handle, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Failure(QString::fromUtf8(sqlite3_errmsg(handle)));
        return;
    }
    const pg::Outcome done = pg::runCommand(database(), statement);
    if (!done.ok)
        throw Failure(done.text);
}

bool AdoConnection::inTransaction() const
{
    if (!m_connected)
        return false;
    if (runsOnSqlite())
        return sqlite3_get_autocommit(sqliteHandle()) == 0;
    return pg::inTransaction(database());
}

QSqlDatabase AdoConnection::database() const
{
    return QSqlDatabase::database(m_qtName, false);
}

sqlite3 *AdoConnection::sqliteHandle() const
{
    return m_sqlite;
}

} // namespace rux
