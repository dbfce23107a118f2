#include "db/connectionstring.h"

#include "base/failure.h"
#include "base/textfold.h"

#include <QStandardPaths>

namespace rux {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

[[noreturn]] void failNear(QStringView segment)
{
    throw Failure(QStringLiteral("Format of the connection string is invalid near \"%1\".")
                      .arg(segment));
}

// An empty value must still be a non-null text: connectionValue() tells an
// absent key (null) from a key given with an empty value.
QString nonNull(QString text)
{
    if (text.isNull())
        return QString(QLatin1String(""));
    return text;
}

// The fixed parts of a built string, before and after the file name. The
// tail starts with the one blank that follows the name.
const QLatin1String kBuiltHead("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=");
const QLatin1String kBuiltTail(
    " ;Mode=Share Deny None;Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
    "Jet OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=4;"
    "Jet OLEDB:Database Locking Mode=0;Jet OLEDB:Global Partial Bulk Ops=2;"
    "Jet OLEDB:Global Bulk Transactions=1;"
    "Extended Properties=\"\";"
    "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
    "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
    "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False");
// The pairs of a built string.
constexpr qsizetype kBuiltPairs = 18;
// The one further key of the default string.
const QLatin1String kPersistKey("Persist Security Info");

} // namespace

QString buildConnectionString(const QString &dbFileName)
{
    QString s;
    s.reserve(kBuiltHead.size() + dbFileName.size() + kBuiltTail.size());
    s += kBuiltHead;
    s += dbFileName;
    s += kBuiltTail;
    return s;
}

QString defaultConnectionString()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QLatin1String("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder
        + QLatin1String("/rux_ppp.mdb;") + kPersistKey + QLatin1String("=False");
}

bool isConnectionKey(const QString &key)
{
    // The keys of the built string, and the one the default string adds.
    static const QStringList keys = [] {
        QStringList list{asciiLower(QString(kPersistKey))};
        for (const ConnectionPair &pair : parseConnectionString(buildConnectionString(QString())))
            list.append(asciiLower(pair.key));
        return list;
    }();
    return keys.contains(asciiLower(key.trimmed()));
}

QList<ConnectionPair> parseConnectionString(const QString &connectionString)
{
    const QStringView s(connectionString);
    const qsizetype n = s.size();
    QList<ConnectionPair> pairs;
    qsizetype pos = 0;
    while (pos < n) {
        const qsizetype start = pos;
        qsizetype semi = s.indexOf(u';', start);
        if (semi < 0)
            semi = n;
        const qsizetype eq = s.indexOf(u'=', start);
        if (eq < 0 || eq > semi) {
            // A segment without "=": nothing, or only blanks, is skipped like
            // ";;"; anything else is text the string cannot mean.
            const QStringView segment = s.mid(start, semi - start);
            if (!trimBlanks(segment).isEmpty())
                failNear(segment);
            pos = semi + 1;
            continue;
        }
        ConnectionPair pair;
        pair.key = trimBlanks(s.mid(start, eq - start)).toString();
        if (pair.key.isEmpty())
            failNear(s.mid(start, semi - start));

        qsizetype v = eq + 1;
        while (v < n && isBlank(s[v]))
            ++v;
        if (v < n && (s[v] == u'"' || s[v] == u'\'')) {
            // A quoted value may hold ";": it ends only at its closing quote.
            const QChar quote = s[v];
            QString value;
            qsizetype i = v + 1;
            bool closed = false;
            while (i < n) {
                if (s[i] == quote) {
                    if (i + 1 < n && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += s[i];
                ++i;
            }
            if (!closed)
                failNear(s.mid(start));
            while (i < n && isBlank(s[i]))
                ++i;
            if (i < n && s[i] != u';') {
                qsizetype end = s.indexOf(u';', i);
                if (end < 0)
                    end = n;
                failNear(s.mid(start, end - start));
            }
            pair.value = nonNull(value);
            pos = i + 1;
        } else {
            pair.value = nonNull(s.mid(eq + 1, semi - eq - 1).toString());
            pos = semi + 1;
        }
        pairs.append(pair);
    }
    return pairs;
}

QString connectionValue(const QString &connectionString, const QString &key)
{
    const QString wanted = asciiLower(trimBlanks(key));
    QString found;
    for (const ConnectionPair &pair : parseConnectionString(connectionString)) {
        if (asciiLower(pair.key) == wanted)
            found = pair.value;
    }
    return found;
}

QString dataSourceOf(const QString &connectionString)
{
    const QList<ConnectionPair> pairs = parseConnectionString(connectionString);
    QString value;
    for (const ConnectionPair &pair : pairs) {
        if (asciiLower(pair.key) == QLatin1String("data source"))
            value = pair.value;
    }

    // A string built around a file name holds the name exactly between its
    // fixed parts. The name must also be what the pairs read: a ";" in it
    // starts further pairs (another Data Source, say) and quotes at its
    // start are taken off, and either would name a file other than the one
    // given.
    const qsizetype size = connectionString.size();
    if (size >= kBuiltHead.size() + kBuiltTail.size() && connectionString.startsWith(kBuiltHead)
        && connectionString.endsWith(kBuiltTail)) {
        const QStringView name =
            QStringView(connectionString).mid(kBuiltHead.size(), size - kBuiltHead.size() - kBuiltTail.size());
        if (pairs.size() != kBuiltPairs || value != name.toString() + u' ')
            failNear(name);
        return nonNull(name.toString());
    }

    if (value.isNull())
        return value;
    qsizetype end = value.size();
    while (end > 0 && value[end - 1] == u' ')
        --end;
    value.truncate(end);
    return nonNull(value);
}

} // namespace rux
