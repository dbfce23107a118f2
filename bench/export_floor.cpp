// The floor of an export on SQLite: a bare C loop over the engine's own
// text of every value, written in the export's line layout. No Qt, no
// value conversion, no code page: what any program must at least do to
// write these rows.
//
//   bench_export_floor DATABASE OUTPUT
//
// Runs "select id, val, name, note, day from t" and writes each value's
// sqlite3_column_text followed by four blanks, each row ended by CR LF, as
// the export's files are laid out. Prints the number of lines written.

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_export_floor DATABASE OUTPUT\n");
        return 2;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select id, val, name, note, day from t", -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    static char buffer[1 << 16];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    const int columns = sqlite3_column_count(stmt);
    long lines = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) {
            const unsigned char *text = sqlite3_column_text(stmt, i);
            if (text)
                std::fwrite(text, 1, size_t(sqlite3_column_bytes(stmt, i)), out);
            std::fwrite("    ", 1, 4, out);
        }
        std::fwrite("\r\n", 1, 2, out);
        ++lines;
    }
    const bool failed = rc != SQLITE_DONE || std::fclose(out) != 0;
    if (rc != SQLITE_DONE)
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (failed)
        return 1;
    std::printf("lines=%ld\n", lines);
    return 0;
}
