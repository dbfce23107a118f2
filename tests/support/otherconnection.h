#pragma once

// Test helper: the database as another program sees it. A connection of
// its own, through the engine's own library (SQLite's, or libpq for a
// postgresql:// URI), so that what a test reads or writes there goes past
// the objects under test, as another program's work would.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace rux::test {

// How an SQLite file is opened; a server connection ignores it.
struct OtherOptions
{
    // Only reads; the file must exist.
    bool readOnly = false;
    // How long a statement waits for another connection's lock.
    int busyTimeoutMs = 5000;
};

class OtherConnection
{
public:
    // `database`: an SQLite file (made when missing and not read-only), or
    // a PostgreSQL URI.
    explicit OtherConnection(const QString &database, const OtherOptions &options = {});
    ~OtherConnection();
    OtherConnection(const OtherConnection &) = delete;
    OtherConnection &operator=(const OtherConnection &) = delete;

    // Why the connection could not be opened; empty when it is open.
    QString error() const { return m_error; }

    // Runs the statements in turn: empty when every one ran, otherwise the
    // first that failed and the engine's text.
    QString run(const QStringList &statements);

    // The rows of `sql`, joined by ","; a row's fields joined by "|", a
    // null field as "NULL". "<open failed: ...>" or "<sql failed: ...>"
    // when it cannot be read.
    QString values(const QString &sql);

    // The first field of the first row of `sql`: a whole number as
    // qlonglong, a real (a numeric too) as double, a yes/no as bool, bytes
    // as QByteArray, anything else as text; the text "error: ..." when it
    // cannot be read.
    QVariant value(const QString &sql);

    class Engine;

private:
    std::unique_ptr<Engine> m_engine;
    QString m_error;
};

// The same on a connection opened for the one call.
QString sqlValues(const QString &database, const QString &sql, const OtherOptions &options = {});
QVariant sqlValue(const QString &database, const QString &sql);

// Runs the statements on a connection of its own; a failure fails the
// running test.
void runSql(const QString &database, const QStringList &statements);

// Makes a database from the statements; a failure ends the test program
// (a fixture it cannot make leaves nothing to test).
void makeDatabase(const QString &database, const QStringList &statements);

} // namespace rux::test
