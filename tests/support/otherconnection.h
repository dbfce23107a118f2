#pragma once

// Test helper: the database as another program sees it. A connection of
// its own, through Qt's drivers, on an SQLite file or on a PostgreSQL
// server (a postgresql:// URI), so that what a test reads or writes there
// goes past the objects under test, as another program's work would.

#include <QString>
#include <QStringList>
#include <QVariant>

namespace rux::test {

class OtherConnection
{
public:
    // `database`: an SQLite file, or a PostgreSQL URI. `connectOptions`:
    // the SQLite driver's connect options (QSQLITE_OPEN_READONLY,
    // QSQLITE_BUSY_TIMEOUT=<ms>).
    explicit OtherConnection(const QString &database, const QString &connectOptions = QString());
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

    // The first field of the first row of `sql`, as the driver hands it
    // over; the text "error: ..." when it cannot be read.
    QVariant value(const QString &sql);
    // The same with numbers as exact as the driver gives them (numeric as
    // text, 64-bit integers whole).
    QVariant exactValue(const QString &sql);

private:
    QString m_name;
    QString m_error;
};

// The same on a connection opened for the one call.
QString sqlValues(const QString &database, const QString &sql, const QString &connectOptions = QString());
QVariant sqlValue(const QString &database, const QString &sql);

// Runs the statements on a connection of its own; a failure fails the
// running test.
void runSql(const QString &database, const QStringList &statements);

// Makes a database from the statements; a failure ends the test program
// (a fixture it cannot make leaves nothing to test).
void makeDatabase(const QString &database, const QStringList &statements);

} // namespace rux::test
