// rux_ppp-access-reader: reads one Access file into an SQLite copy for
// rux_ppp, in a process of its own, so that a damaged file cannot take the
// program down (db/access/accessreader.h).

#include "db/access/accessreader.h"

#include <unistd.h>

int main(int argc, char **argv)
{
    // Ends at once: nothing of the process is needed once the report is
    // written, and a damaged file may have left libmdb's memory in any state.
    ::_exit(rux::accessReaderMain(argc, argv));
}
