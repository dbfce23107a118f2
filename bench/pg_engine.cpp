// Times the PostgreSQL engine beside Qt's driver on the same connection:
// the rows of a table written as export text, and single-row inserts.
//
//   bench_pg_engine URI [ROWS]
//
// Prints one line per measure, in milliseconds, and whether both ways
// wrote the same bytes; exits 1 when they did not.

#include "db/postgres/pgengine.h"
#include "db/valuetext.h"
#include "script/ansicodec.h"
#include "script/failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cstdio>

namespace {

const QString kName = QStringLiteral("bench_pg_engine");
const QString kSelect = QStringLiteral("SELECT id, val, name, note, ix FROM bench_rows ORDER BY id");

QByteArray exportByDriver()
{
    QSqlQuery q(QSqlDatabase::database(kName));
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.exec(kSelect))
        throw rux::Failure(q.lastError().text());
    QByteArray out;
    const int columns = q.record().count();
    while (q.next()) {
        for (int c = 0; c < columns; ++c) {
            rux::appendAnsi(out, rux::valueAsString(q.value(c), false, u'.'));
            rux::appendBytes(out, "    ", 4);
        }
        out.append('\n');
    }
    return out;
}

QByteArray exportByEngine(rux::PostgresEngine &engine)
{
    qint64 affected = 0;
    const auto result = engine.run(kSelect, true, &affected);
    QByteArray out;
    const int columns = int(result->columns().names.size());
    while (result->next()) {
        for (int c = 0; c < columns; ++c) {
            result->appendAnsi(c, u'.', out);
            rux::appendBytes(out, "    ", 4);
        }
        out.append('\n');
    }
    return out;
}

template<typename F>
qint64 timed(F &&work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_pg_engine URI [ROWS]\n");
        return 2;
    }
    const int rows = args.size() > 2 ? args[2].toInt() : 200000;
    try {
        rux::PostgresEngine engine(args[1], kName);
        engine.write(QStringLiteral("CREATE TEMP TABLE bench_rows AS SELECT i AS id, i * 0.37 - 1000.5 AS val, "
                                    "'name ' || (i % 977) AS name, CASE WHEN i % 5 = 0 THEN NULL "
                                    "ELSE 'note ' || i END AS note, i % 13 AS ix "
                                    "FROM generate_series(1, $1) AS i"),
                     {QVariant(rows)});
        engine.write(QStringLiteral("CREATE TEMP TABLE bench_inserts (id int, name text)"), {});

        QByteArray byDriver, byEngine;
        const qint64 driverMs = timed([&] { byDriver = exportByDriver(); });
        const qint64 engineMs = timed([&] { byEngine = exportByEngine(engine); });
        std::printf("export of %d rows: driver %lld ms, engine %lld ms\n", rows, driverMs, engineMs);

        const int inserts = rows / 20;
        const qint64 driverInsertMs = timed([&] {
            QSqlQuery q(QSqlDatabase::database(kName));
            q.prepare(QStringLiteral("INSERT INTO bench_inserts VALUES (?, ?)"));
            for (int i = 0; i < inserts; ++i) {
                q.addBindValue(i);
                q.addBindValue(QStringLiteral("name %1").arg(i));
                if (!q.exec())
                    throw rux::Failure(q.lastError().text());
            }
        });
        const qint64 engineInsertMs = timed([&] {
            for (int i = 0; i < inserts; ++i) {
                engine.write(QStringLiteral("INSERT INTO bench_inserts VALUES ($1, $2)"),
                             {QVariant(i), QVariant(QStringLiteral("name %1").arg(i))});
            }
        });
        std::printf("%d inserts: driver %lld ms, engine %lld ms\n", inserts, driverInsertMs, engineInsertMs);
        const bool same = byDriver == byEngine;
        std::printf("same export bytes: %s\n", same ? "yes" : "no");
        return same ? 0 : 1;
    } catch (const rux::Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 2;
    }
}
