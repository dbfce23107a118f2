#pragma once

#include "db/access/accessreader.h"
#include "db/access/removedonsignal.h"
#include "db/access/mdbimport.h"
#include "db/sqlite/sqliteengine.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace rux {

// The SQLite copy of an Access file, read by the reader process into a
// file in the temporary folder; the file is gone once the engine holds the
// copy (or the read failed). A copy that goes into memory is read while the
// engine sets up its own database; the engine then calls finishRead().
class AccessCopy
{
protected:
    explicit AccessCopy(const QString &fileName);
    ~AccessCopy();
    AccessCopy(const AccessCopy &) = delete;
    AccessCopy &operator=(const AccessCopy &) = delete;

    void finishRead();
    void removeFile();

    QByteArray m_copyPath;
    bool m_inMemory = true;
    AccessImport m_import;

private:
    std::unique_ptr<RemovedOnSignal> m_removedOnSignal;
    std::unique_ptr<AccessReader> m_reader;
};

// An Access file (Jet or ACE). Its tables are read once, whole, into a
// database of the engine's own; statements then run there with SQLite's
// SQL and the file is not touched again. Nothing can be written back (no
// engine on this platform writes these files), so every change is refused
// with readOnlyText(), which names the way out.
class AccessEngine : private AccessCopy, public SqliteEngine
{
public:
    explicit AccessEngine(const QString &fileName);

    EngineKind kind() const override { return EngineKind::Access; }
    QString readOnlyText() const override;
    QStringList openNotes() const override;

private:
    QString m_fileName;
};

} // namespace rux
