#include "db/engines.h"

#include "db/access/accessengine.h"
#include "db/access/mdbimport.h"
#include "db/postgres/pgconninfo.h"
#include "db/postgres/pgengine.h"
#include "db/postgres/pgscan.h"
#include "db/sqlite/offlineparse.h"
#include "db/sqlite/sqliteengine.h"
#include "base/failure.h"

namespace rux {

EngineKind engineKindOf(const QString &dataSource)
{
    if (pg::isPostgresUri(dataSource))
        return EngineKind::Postgres;
    if (isAccessFile(dataSource))
        return EngineKind::Access;
    return EngineKind::Sqlite;
}

OfflineReading readOffline(EngineKind kind, const QString &commandText)
{
    switch (kind) {
    case EngineKind::Postgres:
        return pg::readOffline(commandText);
    case EngineKind::Sqlite:
    case EngineKind::Access:
        break;
    }
    return readSqliteOffline(commandText);
}

std::unique_ptr<DatabaseEngine> openEngine(const QString &dataSource)
{
    switch (engineKindOf(dataSource)) {
    case EngineKind::Postgres:
        return std::make_unique<PostgresEngine>(dataSource);
    case EngineKind::Sqlite:
        break;
    case EngineKind::Access:
        return std::make_unique<AccessEngine>(dataSource);
    }
    return std::make_unique<SqliteEngine>(dataSource);
}

QString shownDataSourceText(const QString &dataSource)
{
    return pg::maskPassword(dataSource);
}

void refuseBrokenServerUri(const QString &connectionString)
{
    pg::refuseBrokenUri(connectionString);
}

} // namespace rux
