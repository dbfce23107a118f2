#pragma once

#include "db/access/mdbimport.h"

#include <QByteArray>
#include <QString>

#include <chrono>

#include <sys/types.h>

namespace rux {

// Access files arrive damaged (cut short by an interrupted copy, broken on
// a shared drive), and libmdb was not written for that: on such a file it
// can crash, loop for ever or take memory without end. The file is
// therefore read in a process of its own (the program rux_ppp-access-reader
// beside rux_ppp), which writes the SQLite copy and reports back; whatever
// happens there ends as a Failure here, within a time and a memory that no
// real file needs.

// What one read may take. A sound file is read at tens of megabytes a
// second in a few tens of megabytes of memory, plus its largest memo or
// OLE value; the bounds leave ample room above that and still end a
// damaged file's loop within seconds.
struct AccessReadBounds
{
    qint64 milliseconds = 0;
    qint64 bytes = 0;
};
AccessReadBounds accessReadBounds(qint64 fileSize);

// Reads every user table of the Access file `source` into the SQLite
// database file `copyPath`, which exists and is empty, as importAccessFile()
// does, in the reader process. Returns what was copied. Throws Failure:
// "Could not read the Access file '<source>': ..." for a damaged or
// unreadable source, whatever way the reader ends (a failure it reports, a
// crash, a bound reached); cannotWriteText(targetName, ...) when the copy
// cannot be written. The reader is gone when this returns; `copyPath` then
// holds the whole copy, or is to be removed by the caller. The reader
// builds the copy in its file, or, for a copy that is to be read into
// memory anyway, in memory and writes it to its file at once (faster; the
// reader then holds the whole copy).
enum class CopyBuilt { InFile, InMemory };
AccessImport readAccessFileApart(const QString &source, const QByteArray &copyPath,
                                 const QString &targetName, CopyBuilt built = CopyBuilt::InFile);

// readAccessFileApart() in two steps, so that the caller can do other work
// while the reader runs: the constructor starts the reader (throwing Failure
// when it cannot), finish() waits for its end and gives its result. A
// reader still running when the object goes is killed and waited for.
class AccessReader
{
public:
    AccessReader(const QString &source, const QByteArray &copyPath, const QString &targetName,
                 CopyBuilt built);
    ~AccessReader();
    AccessReader(const AccessReader &) = delete;
    AccessReader &operator=(const AccessReader &) = delete;

    AccessImport finish();

private:
    QString m_source;
    AccessReadBounds m_bounds;
    std::chrono::steady_clock::time_point m_started;
    pid_t m_pid = -1;
    int m_reportFd = -1;
};

// The reader process's own work, given its command line: reads the file
// into the copy and reports on file descriptor 3. Returns its exit status.
int accessReaderMain(int argc, char **argv);

} // namespace rux
