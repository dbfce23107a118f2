// Opens an Access file once, in a fresh process as a user's run does, and
// prints the time it took in milliseconds and the peak resident set size in
// kB of the reader process (0 when there is none):
//
//     bench_access_import apart FILE        as DB= does now: the reader
//                                           process writes the copy, which
//                                           then goes into memory
//     bench_access_import to_file FILE      as --convert-access does: the
//                                           reader process writes the copy
//                                           into a new file
//     bench_access_import in_process FILE   as DB= did before the reader had
//                                           a process of its own: the import
//                                           within the program into a
//                                           database in memory
//     -> ms=... reader_peak_kb=...

#include "db/access/accessengine.h"
#include "db/access/accessreader.h"
#include "db/access/mdbimport.h"
#include "base/failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstring>
#include <cstdio>

#include <sys/resource.h>


int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc == 3 ? QByteArray(argv[1]) : QByteArray();
    if (mode != "apart" && mode != "to_file" && mode != "in_process") {
        std::fprintf(stderr, "usage: bench_access_import apart|to_file|in_process FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[2]);
    QElapsedTimer clock;
    clock.start();
    try {
        if (mode == "apart") {
            rux::AccessEngine engine(file);
        } else if (mode == "to_file") {
            QTemporaryDir folder;
            const QByteArray copy = QFile::encodeName(folder.filePath(QStringLiteral("copy.db")));
            QFile(QFile::decodeName(copy)).open(QIODevice::WriteOnly);
            rux::readAccessFileApart(file, copy, QFile::decodeName(copy));
        } else {
            // The engine of before: a database in memory, which the import
            // fills within the program.
            sqlite3 *db = nullptr;
            if (sqlite3_open(":memory:", &db) != SQLITE_OK)
                throw rux::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
            sqlite3_exec(db, "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
            try {
                rux::importAccessFile(file, db);
            } catch (...) {
                sqlite3_close(db);
                throw;
            }
            sqlite3_close(db);
        }
    } catch (const rux::Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("ms=%.2f reader_peak_kb=%ld\n", ms, usage.ru_maxrss);
    return 0;
}
