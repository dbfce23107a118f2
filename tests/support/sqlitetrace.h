#pragma once

// Test helper: the statements that SQLite connections run, as the engine's
// own trace gives them. Every connection the process opens while a trace
// is alive is traced: the library calls an automatic extension for each
// connection it opens, so the objects under test need not hand out their
// handle.

#include <QString>
#include <QStringList>

#include <sqlite3.h>

namespace rux::test {

class SqliteTrace
{
public:
    SqliteTrace()
    {
        s_current = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&SqliteTrace::attach));
    }
    ~SqliteTrace()
    {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&SqliteTrace::attach));
        s_current = nullptr;
    }
    SqliteTrace(const SqliteTrace &) = delete;
    SqliteTrace &operator=(const SqliteTrace &) = delete;

    QStringList statements;

private:
    static int attach(sqlite3 *db, char **, const sqlite3_api_routines *)
    {
        sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &SqliteTrace::traced, nullptr);
        return SQLITE_OK;
    }
    // A connection traced before may outlive the trace: it then adds to
    // nothing.
    static int traced(unsigned, void *, void *, void *sql)
    {
        if (s_current)
            s_current->statements.append(QString::fromUtf8(static_cast<const char *>(sql)));
        return 0;
    }

    static inline SqliteTrace *s_current = nullptr;
};

} // namespace rux::test
