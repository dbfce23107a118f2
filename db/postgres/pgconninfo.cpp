#include "db/postgres/pgconninfo.h"

#include "script/failure.h"
#include "script/textfold.h"

#include <QSqlDatabase>

#include <algorithm>

namespace rux::pg {

namespace {

const QLatin1String kMask("***");

qsizetype prefixLength(const QString &text)
{
    const QString head = asciiLower(QStringView(text).left(13));
    if (head.startsWith(QLatin1String("postgresql://")))
        return 13;
    if (head.startsWith(QLatin1String("postgres://")))
        return 11;
    return -1;
}

// Where the pieces of a URI stand. The user part runs to the first "@" met
// before any "/" or "?"; without such an "@" there is none.
struct Layout
{
    qsizetype userBegin = -1;     // -1: no user part
    qsizetype passwordBegin = -1; // -1: no password in the user part
    qsizetype userEnd = -1;       // position of the "@"
    qsizetype hostBegin = 0;
    qsizetype hostEnd = 0;
    qsizetype pathBegin = -1;     // after the "/", -1 when none
    qsizetype queryBegin = -1;    // after the "?", -1 when none
};

Layout layoutOf(const QString &uri)
{
    Layout l;
    const qsizetype n = uri.size();
    const qsizetype start = prefixLength(uri);
    qsizetype i = start;
    while (i < n && uri[i] != u'@' && uri[i] != u'/' && uri[i] != u'?')
        ++i;
    if (i < n && uri[i] == u'@') {
        l.userBegin = start;
        l.userEnd = i;
        const qsizetype colon = uri.indexOf(u':', start);
        if (colon >= 0 && colon < i)
            l.passwordBegin = colon + 1;
        l.hostBegin = i + 1;
    } else {
        l.hostBegin = start;
    }
    i = l.hostBegin;
    while (i < n && uri[i] != u'/' && uri[i] != u'?')
        ++i;
    l.hostEnd = i;
    if (i < n && uri[i] == u'/') {
        l.pathBegin = i + 1;
        while (i < n && uri[i] != u'?')
            ++i;
    }
    if (i < n && uri[i] == u'?')
        l.queryBegin = i + 1;
    return l;
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

[[noreturn]] void failUri(const QString &uri, const QString &reason)
{
    throw Failure(QStringLiteral("Invalid PostgreSQL URI '%1': %2.").arg(maskPassword(uri), reason));
}

// Percent-decoding as libpq does it: "%" and two hex digits stand for one
// byte; the bytes are UTF-8. Anything else after "%" is an error.
QString decode(const QString &uri, QStringView part)
{
    QByteArray bytes;
    bytes.reserve(part.size());
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] != u'%') {
            bytes += QStringView(part.mid(i, 1)).toUtf8();
            continue;
        }
        const int high = i + 1 < part.size() ? hexValue(part[i + 1]) : -1;
        const int low = i + 2 < part.size() ? hexValue(part[i + 2]) : -1;
        if (high < 0 || low < 0)
            failUri(uri, QStringLiteral("invalid percent-encoded token"));
        if (high == 0 && low == 0)
            failUri(uri, QStringLiteral("forbidden value %00 in percent-encoded value"));
        bytes += char(high * 16 + low);
        i += 2;
    }
    return QString::fromUtf8(bytes);
}

// The "password=" values of the query part: where they stand in the URI.
QList<QPair<qsizetype, qsizetype>> queryPasswords(const QString &uri, const Layout &l)
{
    QList<QPair<qsizetype, qsizetype>> ranges;
    if (l.queryBegin < 0)
        return ranges;
    qsizetype i = l.queryBegin;
    const qsizetype n = uri.size();
    while (i <= n) {
        qsizetype end = uri.indexOf(u'&', i);
        if (end < 0)
            end = n;
        const qsizetype eq = uri.indexOf(u'=', i);
        if (eq >= 0 && eq < end
            && asciiLower(QStringView(uri).mid(i, eq - i)) == QLatin1String("password"))
            ranges.append({eq + 1, end});
        i = end + 1;
    }
    return ranges;
}

// A value as a libpq keyword value: in single quotes, with "\" and "'"
// escaped by "\".
QString quoteValue(QString value)
{
    value.replace(u'\\', QLatin1String("\\\\"));
    value.replace(u'\'', QLatin1String("\\'"));
    return u'\'' + value + u'\'';
}

bool isDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

bool isPostgresUri(const QString &dataSource)
{
    return prefixLength(dataSource) > 0;
}

ConnInfo parseUri(const QString &uri)
{
    if (!isPostgresUri(uri))
        failUri(uri, QStringLiteral("it does not start with postgresql://"));
    const Layout l = layoutOf(uri);
    const QStringView s(uri);
    ConnInfo info;

    if (l.userBegin >= 0) {
        const qsizetype userEnd = l.passwordBegin >= 0 ? l.passwordBegin - 1 : l.userEnd;
        info.user = decode(uri, s.mid(l.userBegin, userEnd - l.userBegin));
        if (l.passwordBegin >= 0)
            info.password = decode(uri, s.mid(l.passwordBegin, l.userEnd - l.passwordBegin));
    }

    const QStringView hostSpec = s.mid(l.hostBegin, l.hostEnd - l.hostBegin);
    if (!hostSpec.isEmpty()) {
        for (QStringView item : hostSpec.split(u',')) {
            QStringView host = item;
            QStringView port;
            if (item.startsWith(u'[')) {
                const qsizetype close = item.indexOf(u']');
                if (close < 0)
                    failUri(uri, QStringLiteral("missing \"]\" in an IPv6 host address"));
                host = item.mid(1, close - 1);
                if (host.isEmpty())
                    failUri(uri, QStringLiteral("an IPv6 host address is empty"));
                const QStringView after = item.mid(close + 1);
                if (!after.isEmpty()) {
                    if (!after.startsWith(u':'))
                        failUri(uri, QStringLiteral("unexpected character after an IPv6 host address"));
                    port = after.mid(1);
                }
            } else {
                const qsizetype colon = item.indexOf(u':');
                if (colon >= 0) {
                    host = item.left(colon);
                    port = item.mid(colon + 1);
                }
            }
            const QString portText = decode(uri, port);
            if (!portText.isEmpty() && (!isDigits(portText) || portText.size() > 5 || portText.toInt() > 65535))
                failUri(uri, QStringLiteral("invalid port number"));
            info.hosts.append(decode(uri, host));
            info.ports.append(portText);
        }
    }

    if (l.pathBegin >= 0) {
        const qsizetype end = l.queryBegin >= 0 ? l.queryBegin - 1 : uri.size();
        info.dbname = decode(uri, s.mid(l.pathBegin, end - l.pathBegin));
    }

    if (l.queryBegin >= 0) {
        const QStringView query = s.mid(l.queryBegin);
        for (QStringView item : query.split(u'&')) {
            if (item.isEmpty())
                continue;
            const qsizetype eq = item.indexOf(u'=');
            if (eq <= 0) {
                failUri(uri, QStringLiteral("a query parameter needs the form key=value"));
            }
            const QString key = decode(uri, item.left(eq));
            const QString value = decode(uri, item.mid(eq + 1));
            const QString folded = asciiLower(key);
            if (folded == QLatin1String("user")) {
                info.user = value;
            } else if (folded == QLatin1String("password")) {
                info.password = value;
            } else if (folded == QLatin1String("dbname")) {
                info.dbname = value;
            } else if (folded == QLatin1String("host")) {
                info.hosts = value.split(u',');
                if (info.ports.size() != info.hosts.size())
                    info.ports = QStringList(info.hosts.size(), QString());
            } else if (folded == QLatin1String("port")) {
                const QStringList ports = value.split(u',');
                if (info.hosts.isEmpty())
                    info.hosts = QStringList(ports.size(), QString());
                info.ports = ports;
            } else {
                info.options.append({key, value});
            }
        }
    }
    return info;
}

QString maskPassword(const QString &dataSource)
{
    if (!isPostgresUri(dataSource))
        return dataSource;
    const Layout l = layoutOf(dataSource);
    QString masked = dataSource;
    // From the end, so that earlier positions stay valid.
    const QList<QPair<qsizetype, qsizetype>> ranges = queryPasswords(dataSource, l);
    for (auto it = ranges.crbegin(); it != ranges.crend(); ++it)
        masked.replace(it->first, it->second - it->first, kMask);
    if (l.passwordBegin >= 0) {
        masked.replace(l.passwordBegin, l.userEnd - l.passwordBegin, kMask);
    } else if (l.userBegin < 0) {
        // "user:password" without its "@" reads as a host and a port: a
        // port that is not a number is masked, it may be the password.
        for (qsizetype i = l.hostEnd - 1; i >= l.hostBegin; --i) {
            if (dataSource[i] != u':')
                continue;
            const qsizetype comma = dataSource.lastIndexOf(u',', i);
            const qsizetype itemBegin = comma < l.hostBegin ? l.hostBegin : comma + 1;
            if (dataSource[itemBegin] == u'[')
                continue; // an IPv6 address: its colons are no port
            qsizetype end = dataSource.indexOf(u',', i);
            if (end < 0 || end > l.hostEnd)
                end = l.hostEnd;
            const QString port = dataSource.mid(i + 1, end - i - 1);
            if (!port.isEmpty() && !isDigits(port) && !port.contains(u']'))
                masked.replace(i + 1, end - i - 1, kMask);
        }
    }
    return masked;
}

QString maskSecrets(QString text, const QString &uri)
{
    if (!isPostgresUri(uri))
        return text;
    const Layout l = layoutOf(uri);
    QStringList secrets;
    QList<QPair<qsizetype, qsizetype>> ranges = queryPasswords(uri, l);
    if (l.passwordBegin >= 0)
        ranges.append({l.passwordBegin, l.userEnd});
    for (const auto &r : ranges) {
        const QString raw = uri.mid(r.first, r.second - r.first);
        secrets.append(raw);
        try {
            secrets.append(decode(uri, raw));
        } catch (const Failure &) {
        }
    }
    // Longest first: a shorter secret inside a longer one must not leave
    // the rest of the longer one behind.
    std::sort(secrets.begin(), secrets.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &secret : secrets) {
        if (!secret.isEmpty())
            text.replace(secret, kMask);
    }
    return text;
}

void refuseBrokenUri(const QString &connectionString)
{
    const QString folded = asciiLower(connectionString);
    qsizetype at = -1;
    for (qsizetype from = 0; (at = folded.indexOf(QLatin1String("data source"), from)) >= 0; from = at + 1) {
        qsizetype i = at + 11;
        while (i < folded.size() && (folded[i] == u' ' || folded[i] == u'\t'))
            ++i;
        if (i >= folded.size() || folded[i] != u'=')
            continue;
        ++i;
        while (i < folded.size() && (folded[i] == u' ' || folded[i] == u'\t'))
            ++i;
        qsizetype end = connectionString.indexOf(u';', i);
        if (end < 0)
            end = connectionString.size();
        const QString piece = connectionString.mid(i, end - i);
        if (isPostgresUri(piece)) {
            // Nothing of the URI is shown: where it was cut, even the user
            // part may hold the password.
            throw Failure(QStringLiteral("Format of the connection string is invalid: a PostgreSQL "
                                         "Data Source is cut off by \";\"; write \";\" in the URI as %3B."));
        }
    }
}

void configure(QSqlDatabase &db, const ConnInfo &info)
{
    QStringList options;
    bool timeoutGiven = false;
    for (const auto &option : info.options) {
        if (option.second.contains(u';') || option.first.contains(u';')) {
            throw Failure(QStringLiteral("The PostgreSQL option \"%1\" cannot hold \";\".")
                              .arg(option.first.contains(u';') ? QStringLiteral("?") : option.first));
        }
        if (asciiLower(option.first) == QLatin1String("connect_timeout"))
            timeoutGiven = true;
        options.append(option.first + u'=' + quoteValue(option.second));
    }
    // A host that does not answer must not hold the window for minutes.
    if (!timeoutGiven)
        options.append(QStringLiteral("connect_timeout=10"));

    const bool anyHost = std::any_of(info.hosts.cbegin(), info.hosts.cend(),
                                     [](const QString &h) { return !h.isEmpty(); });
    const bool anyPort = std::any_of(info.ports.cbegin(), info.ports.cend(),
                                     [](const QString &p) { return !p.isEmpty(); });
    if (info.hosts.size() > 1) {
        if (anyHost)
            options.append(QStringLiteral("host=") + quoteValue(info.hosts.join(u',')));
        if (anyPort)
            options.append(QStringLiteral("port=") + quoteValue(info.ports.join(u',')));
    } else {
        if (anyHost)
            db.setHostName(info.hosts.front());
        if (anyPort)
            db.setPort(info.ports.front().toInt());
    }
    for (const QString &option : options) {
        if (option.contains(u';'))
            throw Failure(QStringLiteral("A PostgreSQL host name cannot hold \";\"."));
    }
    db.setUserName(info.user);
    db.setPassword(info.password);
    db.setDatabaseName(info.dbname);
    db.setConnectOptions(options.join(u';'));
}

} // namespace rux::pg
