#pragma once

#include "db/sqlite/sqliteengine.h"

namespace rux {

// An Access file (Jet or ACE). Its tables are read once, whole, into a
// database of the engine's own; statements then run there with SQLite's
// SQL and the file is not touched again. Nothing can be written back (no
// engine on this platform writes these files), so every change is refused
// with readOnlyText(), which names the way out.
//
// Windows has the Access engine itself behind its ODBC driver; that path is
// not built: there openEngine() refuses the file with a text that says so.
class AccessEngine : public SqliteEngine
{
public:
    AccessEngine(const QString &fileName, const QString &qtName);

    EngineKind kind() const override { return EngineKind::Access; }
    QString readOnlyText() const override;

private:
    QString m_fileName;
};

} // namespace rux
