#include "exec/cmdline.h"

#include "base/failure.h"
#include "script/paramcells.h"
#include "script/substitution.h"
#include "base/textfold.h"

namespace rux {

QStringList splitCommandLine(const QString &commandLine)
{
    QStringList arguments;
    const qsizetype size = commandLine.size();
    qsizetype i = 0;
    for (;;) {
        // Between arguments: U+0001 to U+0020 and empty quote pairs. U+0000
        // is not skipped here; it then ends the argument below at once.
        for (;;) {
            while (i < size && commandLine[i].unicode() >= 0x01 && commandLine[i].unicode() <= 0x20)
                ++i;
            if (i + 1 < size && commandLine[i] == u'"' && commandLine[i + 1] == u'"') {
                i += 2;
                continue;
            }
            break;
        }
        if (i >= size)
            break;

        QString argument;
        bool quoted = false;
        for (; i < size; ++i) {
            const QChar c = commandLine[i];
            if (c == u'"')
                quoted = !quoted;
            else if (!quoted && c.unicode() <= 0x20)
                break;
            else
                argument += c;
        }
        // An empty argument ends the list. Every non-empty one has moved i
        // on, so the loop always ends.
        if (argument.isEmpty())
            break;
        arguments.append(argument);
    }
    return arguments;
}

ArgumentEffects examineArgument(const QString &argument)
{
    ArgumentEffects effects;
    const QString upper = asciiUpper(argument);

    if (upper.startsWith(QLatin1String("DB="))) {
        effects.database = true;
        effects.dbFileName = argument.mid(3);
    }
    if (upper.startsWith(QLatin1String("SQL="))) {
        effects.script = true;
        effects.sqlFileName = argument.mid(4);
    }
    if (upper.startsWith(QLatin1String("ERR_P="))) {
        effects.runId = true;
        effects.runIdValue = argument.mid(6);
    }
    if (upper == QLatin1String("GO"))
        effects.go = true;
    if (argument.contains(u'$')) {
        effects.parameter = true;
        const qsizetype equals = argument.indexOf(u'=');
        if (equals < 0) {
            effects.value = argument;
        } else {
            effects.name = argument.left(equals);
            effects.value = argument.mid(equals + 1);
        }
    }
    return effects;
}

void readStartupArguments(const QStringList &arguments, ParamCells &grid, StartupArguments &read,
                          const std::function<void(const QString &)> &database)
{
    clearParameterRows(grid);
    int parameters = 0;
    for (const QString &argument : arguments) {
        if (examineArgument(argument).parameter)
            ++parameters;
    }
    if (parameters > kMaxParamRows)
        throw Failure(tooManyParametersText());

    for (const QString &argument : arguments) {
        const ArgumentEffects effects = examineArgument(argument);
        if (effects.database && database)
            database(effects.dbFileName);
        if (effects.script) {
            read.script = true;
            read.scriptFile = effects.sqlFileName;
        }
        if (effects.runId)
            read.runId = effects.runIdValue;
        if (effects.go)
            read.go = true;
        if (effects.parameter) {
            ++read.parameterRows;
            grid.setCell(0, read.parameterRows, effects.name);
            grid.setCell(1, read.parameterRows, effects.value);
        }
    }
}

qint64 durationMs(const QString &text)
{
    qint64 unitMs = 1000;
    QStringView number(text);
    if (text.endsWith(u's')) {
        number.chop(1);
    } else if (text.endsWith(u'm')) {
        unitMs = 60 * 1000;
        number.chop(1);
    } else if (text.endsWith(u'h')) {
        unitMs = 60 * 60 * 1000;
        number.chop(1);
    }
    for (const QChar c : number) {
        if (c < u'0' || c > u'9')
            return -1;
    }
    bool ok = false;
    const qint64 value = number.toLongLong(&ok);
    // A year at most: more is a typing error, and would overflow below.
    if (!ok || value <= 0 || value > 366LL * 24 * 3600 * 1000 / unitMs)
        return -1;
    return value * unitMs;
}

ProgramOptions takeProgramOptions(QStringList &arguments)
{
    ProgramOptions options;
    const auto refuse = [&options](const QString &text) {
        if (options.error.isEmpty())
            options.error = text;
    };
    const QLatin1String logPrefix("--log=");
    const QLatin1String timeoutPrefix("--timeout=");
    for (qsizetype i = 0; i < arguments.size();) {
        const QString argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            ++i;
            continue;
        }
        arguments.removeAt(i);
        if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else if (argument == QLatin1String("--single-transaction")) {
            options.singleTransaction = true;
        } else if (argument == QLatin1String("--check")) {
            options.check = true;
        } else if (argument.startsWith(logPrefix)) {
            if (options.log)
                refuse(QStringLiteral("--log is given twice; a run writes one log."));
            options.log = true;
            options.logFile = argument.mid(logPrefix.size());
            if (options.logFile.isEmpty())
                refuse(QStringLiteral("The log file name is empty: write --log=FILE, or --log=- for standard error."));
        } else if (argument == QLatin1String("--convert-access")) {
            if (options.convertAccess)
                refuse(QStringLiteral("--convert-access is given twice; a conversion writes one file."));
            options.convertAccess = true;
            if (arguments.size() - i < 2) {
                refuse(QStringLiteral("--convert-access needs two file names: --convert-access SOURCE TARGET"));
                arguments.erase(arguments.begin() + i, arguments.end());
            } else {
                options.convertSource = arguments.takeAt(i);
                options.convertTarget = arguments.takeAt(i);
            }
        } else if (argument.startsWith(timeoutPrefix) || argument == QLatin1String("--timeout")) {
            if (options.timeoutMs > 0)
                refuse(QStringLiteral("--timeout is given twice; a run has one time limit."));
            const QString given = argument.mid(timeoutPrefix.size());
            options.timeoutMs = durationMs(given);
            options.timeoutText = given;
            if (options.timeoutMs <= 0)
                refuse(QStringLiteral("--timeout needs a duration such as 90s, 30m or 2h (whole seconds, "
                                      "minutes or hours, more than 0), not '%1'.")
                           .arg(given));
        } else if (argument == QLatin1String("--log")) {
            refuse(QStringLiteral("--log needs a file name: write --log=FILE, or --log=- for standard error."));
        } else {
            refuse(QStringLiteral("Unknown option '%1'. The options are --log=FILE, --single-transaction, "
                                  "--timeout=DURATION, --convert-access SOURCE TARGET, --check, --help and --version.")
                       .arg(argument));
        }
    }
    if (options.convertAccess
        && (!arguments.isEmpty() || options.log || options.singleTransaction || options.timeoutMs != 0
            || options.check)) {
        refuse(QStringLiteral("--convert-access runs alone: give only --convert-access SOURCE TARGET, "
                              "then run the script on the new file."));
    }
    if (options.check && !options.convertAccess && (options.log || options.timeoutMs != 0)) {
        refuse(QStringLiteral("--check only reads the script: --log and --timeout do not go with it."));
    }
    return options;
}

} // namespace rux
