#pragma once

#include <QByteArray>

namespace rux {

// libmdb tells of what it meets in a damaged file on standard output and
// standard error itself, in lines of its own. The program's failure says
// what went wrong; those lines would stand in a conversion's table listing
// and in the standard error of an unattended run, which holds only the
// program's own lines. While an object of this class lives, standard
// output goes nowhere and standard error into a pipe of its own.
//
// What libmdb writes there is also the only sign of some damage: a page it
// was to read lies beyond the end of a file cut short ("offset N is beyond
// EOF"), or a table's properties are not where the catalog says
// ("Unrecognized format."); libmdb then goes on as if the data were absent,
// and a calculated column would read as garbage. A sound file makes libmdb
// say nothing, so every line it writes counts as damage, except its notes
// on its own options and on a table read page by page. The pipe never
// blocks the library: once full, further lines are dropped, so the memory
// it takes stays bounded whatever the library writes.
class LibraryOutput
{
public:
    LibraryOutput();
    ~LibraryOutput();
    LibraryOutput(const LibraryOutput &) = delete;
    LibraryOutput &operator=(const LibraryOutput &) = delete;

    // The first line in which libmdb told of damage so far; empty while
    // there is none.
    QByteArray damage();

private:
    int m_saved[2] = {-1, -1};
    int m_pipe = -1;
    QByteArray m_partialLine;
    QByteArray m_damage;
};

} // namespace rux
