#pragma once

// Test helper: SQLite database files made by a separate Qt connection, so the
// objects under test meet them as another program left them.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <QVariant>

namespace rux::test {

inline void runOnFile(const QString &path, const QStringList &statements)
{
    static int counter = 0;
    const QString name = QStringLiteral("fixture_%1").arg(++counter);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        for (const QString &s : statements) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(s), qPrintable(s + QStringLiteral(": ") + q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// The first column of the first row of `sql`, read by another connection.
inline QVariant readOnFile(const QString &path, const QString &sql)
{
    static int counter = 0;
    const QString name = QStringLiteral("reader_%1").arg(++counter);
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                result = q.value(0);
            else
                result = QStringLiteral("error: ") + q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace rux::test
