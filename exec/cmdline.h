#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace rux {

class ParamCells;

// Splits a command line given as one text into its arguments, argument 0
// (the program's path) included. Between arguments the characters U+0001
// to U+0020 are skipped, and so is every empty pair of double quotes there.
// An argument runs to a character of U+0020 or below outside double quotes,
// or to the end; a double quote opens a run, closed by the next one or by
// the end, in which every character belongs to the argument. The quotes are
// not part of it, and there is no escape (a backslash is an ordinary
// character). The list stops before the first empty argument: a lone quote
// at the very end, or a U+0000 where an argument would begin.
QStringList splitCommandLine(const QString &commandLine);

// What one command-line argument asks for. Each of the five tests is made;
// every one that applies is set, so one argument can have several effects.
// Prefixes are compared upper-cased over a to z only; values stay as typed.
struct ArgumentEffects
{
    // "DB=" file: the database to open (may be empty).
    bool database = false;
    QString dbFileName;
    // "SQL=" file: the script to load (may be empty).
    bool script = false;
    QString sqlFileName;
    // "ERR_P=" value: the run identifier (may be empty).
    bool runId = false;
    QString runIdValue;
    // "GO": run the script unattended.
    bool go = false;
    // Any argument holding "$": a parameter row. name is everything before
    // the first "=" (empty without one), value everything after it (the
    // whole argument without one).
    bool parameter = false;
    QString name;
    QString value;
};

ArgumentEffects examineArgument(const QString &argument);

// What the start-up takes from the arguments besides the databases and the
// parameter rows: the last "SQL=" and "ERR_P=", and whether "GO" stands
// among them.
struct StartupArguments
{
    bool script = false;
    QString scriptFile;
    QString runId = QStringLiteral("-999");
    bool go = false;
    // The parameter rows written, rows 1 to parameterRows.
    int parameterRows = 0;
};

// The start-up's reading of the command line, shared by the window and the
// script check: empties the name and value cells of rows 1 to 6, refuses
// more than kMaxParamRows parameter arguments (Failure with
// tooManyParametersText()) before anything else, then examines the
// arguments in order: `database`, when given, is called for each "DB=" at
// the place where it stands, and each parameter argument writes its name
// and value into the next row of `grid`, from row 1 on. `read` follows the
// arguments as they are examined: when `database` throws, it holds what
// the arguments before that one gave.
void readStartupArguments(const QStringList &arguments, ParamCells &grid, StartupArguments &read,
                          const std::function<void(const QString &)> &database = {});

// The program's own options: the arguments that start with "--". They are
// taken out of the argument list, so the five tests above never see them.
struct ProgramOptions
{
    bool help = false;
    bool version = false;
    bool singleTransaction = false;
    // "--log=FILE": the run log's file ("-": standard error).
    bool log = false;
    QString logFile;
    // "--timeout=DURATION": the run is stopped after this many
    // milliseconds; 0 when not given. timeoutText: the duration as given.
    qint64 timeoutMs = 0;
    QString timeoutText;
    // "--convert-access SOURCE TARGET": the two arguments after the option,
    // taken as they stand. The conversion runs alone: no other argument
    // and no run option goes with it.
    bool convertAccess = false;
    QString convertSource;
    QString convertTarget;
    // "--check": the script is checked, not run (scriptcheck.h). Only
    // --single-transaction goes with it.
    bool check = false;
    // Why the options cannot be used (an unknown option, a log file named
    // twice or not at all, a conversion with a missing file name or with
    // other arguments, a check with an option of a run); empty when they
    // can.
    QString error;
};

ProgramOptions takeProgramOptions(QStringList &arguments);

// A duration as --timeout takes it: whole seconds ("90" or "90s"), minutes
// ("30m") or hours ("2h"), more than 0 and at most a year. In
// milliseconds; -1 when the text is no such duration.
qint64 durationMs(const QString &text);

} // namespace rux
