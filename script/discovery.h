#pragma once

#include "script/linestore.h"
#include "script/paramcells.h"
#include "script/scriptfile.h"
#include "script/scriptlines.h"

#include <QList>
#include <QString>

namespace rux {

// The parameter name that starts at the "$" at 1-based position `p` of
// `line`: from the "$" to the character before the first blank (U+0020) at
// position p + 3 or later, or to the end of the line when there is none.
// Only the blank ends a name. Empty when p is not a position of the line.
QString takeParameterName(const QString &line, int p);

// The number of rows 1 to 6 whose name cell is not empty (a blank counts).
int countNamedRows(const ParamCells &grid);

// The names a load lists: the number of rows in use afterwards, and the
// names to append with their rows, in the order found, rows counting up.
struct DiscoveredNames
{
    int rowsInUse;
    struct Name
    {
        int row;
        QString name;
    };
    QList<Name> newNames;
};

// The line work of a load, on `lines` in place: replaces "%rid%" by `runId`
// in every line that holds it in lower case (not in lines that begin with
// "#") and scans the other lines and the replaced ones for names. A name not
// in the name cells of rows 1 to 6 (as the grid holds them, or as an earlier
// name of this scan set them) is appended below the named rows. `grid` is
// only read. Throws Failure when a name would need an eleventh row; `lines`
// may then hold some of the replacements.
DiscoveredNames discoverInLines(LineStore &lines, const QString &runId, const ParamCells &grid);

// The same line work on a text (lines separated by CR LF): the text as it
// stands afterwards, with the names.
struct DiscoveredScript
{
    QString text;
    int rowsInUse;
    QList<DiscoveredNames::Name> newNames;
};
DiscoveredScript discoverParameters(const QString &text, const QString &runId, const ParamCells &grid);

// Loads a script into the editor and lists its parameters (the work of
// set_sqlscript after the label): reads `fileName`, replaces "%rid%" by
// `runId` in every line that holds it in lower case (not in lines that begin
// with "#"), appends each name not yet in the name cells of rows 1 to 6 below
// the named rows, and returns the number of rows in use.
// `remembered` becomes the file's encoding once the file has been read and
// its names fit into the grid.
// Throws Failure, leaving the editor, the grid and `remembered` as they were,
// when the file cannot be read or a name would need an eleventh row; throws
// Failure "Text überschreitet Memo-Kapazität" when the text is too long for
// the editor, after `remembered` has been set, with editor and grid unchanged.
int loadScript(const QString &fileName, const QString &runId, ScriptLines &editor, ParamCells &grid,
               TextEncoding &remembered);

} // namespace rux
