#include "db/postgres/pgconninfo.h"

#include "db/postgres/libpq.h"
#include "base/failure.h"
#include "base/textfold.h"


#include <algorithm>

namespace rux::pg {

namespace {

const QLatin1String kMask("***");

using Range = QPair<qsizetype, qsizetype>; // [begin, end) in a text

qsizetype prefixLength(const QString &text)
{
    const QString head = asciiLower(QStringView(text).left(13));
    if (head.startsWith(QLatin1String("postgresql://")))
        return 13;
    if (head.startsWith(QLatin1String("postgres://")))
        return 11;
    return -1;
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

// Percent-decoding that never fails, for masking: the URI may be one that
// libpq refuses.
QString looselyDecoded(QStringView text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

// Where a PostgreSQL URI holds what may be its password. The user part is
// the one libpq reads (up to an "@" before the first "/"), but it runs to
// the last such "@", so that a password holding an unencoded "@" stays
// hidden as a whole. "password=" is looked for after every "?" and "&" of
// the query part, letter case and percent-encoding of the key ignored.
// Without a user part, "user:password" reads as a host and a port: a port
// that is not a number may be the password.
QList<Range> secretRanges(const QString &uri)
{
    QList<Range> ranges;
    const qsizetype n = uri.size();
    const qsizetype start = prefixLength(uri);
    qsizetype slash = uri.indexOf(u'/', start);
    if (slash < 0)
        slash = n;
    const qsizetype at = uri.lastIndexOf(u'@', slash - 1);
    if (at >= start) {
        const qsizetype colon = uri.indexOf(u':', start);
        if (colon >= 0 && colon < at)
            ranges.append({colon + 1, at});
    } else {
        qsizetype hostEnd = start;
        while (hostEnd < n && uri[hostEnd] != u'/' && uri[hostEnd] != u'?')
            ++hostEnd;
        for (qsizetype item = start; item < hostEnd;) {
            qsizetype itemEnd = uri.indexOf(u',', item);
            if (itemEnd < 0 || itemEnd > hostEnd)
                itemEnd = hostEnd;
            // The port follows the first ":", or "]:" after an IPv6 address.
            const qsizetype close = uri[item] == u'[' ? uri.indexOf(u']', item) : item;
            const qsizetype colon = close >= 0 && close < itemEnd ? uri.indexOf(u':', close) : -1;
            const QString port = colon >= 0 && colon < itemEnd ? uri.mid(colon + 1, itemEnd - colon - 1) : QString();
            if (!port.isEmpty() && !isDigits(port))
                ranges.append({colon + 1, itemEnd});
            item = itemEnd + 1;
        }
    }
    const qsizetype query = uri.indexOf(u'?', start);
    for (qsizetype i = query; i >= 0 && i < n; ++i) {
        if (uri[i] != u'?' && uri[i] != u'&')
            continue;
        qsizetype end = uri.indexOf(u'&', i + 1);
        if (end < 0)
            end = n;
        const qsizetype eq = uri.indexOf(u'=', i + 1);
        if (eq > i && eq < end
            && asciiLower(looselyDecoded(QStringView(uri).mid(i + 1, eq - i - 1))) == QLatin1String("password"))
            ranges.append({eq + 1, end});
    }
    return ranges;
}

// libpq's reading of a URI; false, with libpq's message, where libpq
// refuses it. Throws when libpq cannot be loaded.
bool readUri(const QString &uri, ConnInfo &info, QString &message)
{
    const Libpq &pq = libpq();
    // libpq knows the scheme in small letters only.
    const qsizetype prefix = prefixLength(uri);
    const QByteArray text = (asciiLower(QStringView(uri).left(prefix)) + uri.mid(prefix)).toUtf8();
    char *error = nullptr;
    PQconninfoOption *options = pq.PQconninfoParse(text.constData(), &error);
    if (!options) {
        message = error ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        if (error)
            pq.PQfreemem(error);
        return false;
    }
    for (const PQconninfoOption *option = options; option->keyword; ++option) {
        if (option->val)
            info.options.append({QString::fromUtf8(option->keyword), QString::fromUtf8(option->val)});
    }
    pq.PQconninfoFree(options);
    return true;
}

[[noreturn]] void failUri(const QString &uri, const QString &reason)
{
    throw Failure(QStringLiteral("Invalid PostgreSQL URI '%1': %2.").arg(maskPassword(uri), reason));
}

} // namespace

QString ConnInfo::value(QStringView keyword) const
{
    for (const auto &option : options) {
        if (option.first == keyword)
            return option.second;
    }
    return QString();
}

bool isPostgresUri(const QString &dataSource)
{
    return prefixLength(dataSource) > 0;
}

ConnInfo parseUri(const QString &uri)
{
    if (!isPostgresUri(uri))
        failUri(uri, QStringLiteral("it does not start with postgresql://"));
    ConnInfo info;
    QString message;
    if (!readUri(uri, info, message))
        failUri(uri, maskSecrets(message, uri)); // libpq's message may quote the URI
    // libpq checks the ports only when it connects: a URI that names no
    // port it could reach is refused before.
    for (const QString &port : info.value(u"port").split(u',')) {
        if (!port.isEmpty() && (!isDigits(port) || port.size() > 5 || port.toInt() > 65535))
            failUri(uri, QStringLiteral("invalid port number"));
    }
    return info;
}

QString maskPassword(const QString &dataSource)
{
    if (!isPostgresUri(dataSource))
        return dataSource;
    QList<Range> ranges = secretRanges(dataSource);
    std::sort(ranges.begin(), ranges.end());
    // Overlapping ranges are masked as one, from the end, so that earlier
    // positions stay valid.
    QList<Range> merged;
    for (const Range &r : ranges) {
        if (!merged.isEmpty() && r.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.append(r);
    }
    QString masked = dataSource;
    for (auto it = merged.crbegin(); it != merged.crend(); ++it)
        masked.replace(it->first, it->second - it->first, kMask);
    return masked;
}

QString maskSecrets(QString text, const QString &uri)
{
    if (!isPostgresUri(uri))
        return text;
    QStringList secrets;
    for (const Range &r : secretRanges(uri)) {
        const QStringView raw = QStringView(uri).mid(r.first, r.second - r.first);
        secrets << raw.toString() << looselyDecoded(raw);
    }
    // The password libpq reads, should it stand where the rules above do
    // not look.
    try {
        ConnInfo info;
        QString message;
        if (readUri(uri, info, message))
            secrets << info.value(u"password");
    } catch (const Failure &) {
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

ConnectParams connectParams(const ConnInfo &info, const QString &settings)
{
    // What a URI leaves out of these is set as given here: a host that does
    // not answer must not hold the window for minutes, and a host that is
    // gone (pulled cable, powered off) is found by TCP keepalive probes
    // rather than waited for without end. A live server's system answers
    // the probes whatever its backend does, so the probes never end a
    // connection to it: the first goes out after 60 s without traffic, and
    // the connection counts as lost only after 6 more, 10 s apart, went
    // unanswered (two minutes in all).
    QList<QPair<QLatin1String, QLatin1String>> defaults = {
        {QLatin1String("connect_timeout"), QLatin1String("10")},
        {QLatin1String("keepalives"), QLatin1String("1")},
        {QLatin1String("keepalives_idle"), QLatin1String("60")},
        {QLatin1String("keepalives_interval"), QLatin1String("10")},
        {QLatin1String("keepalives_count"), QLatin1String("6")},
    };
    ConnectParams params;
    QString options;
    for (const auto &[keyword, value] : info.options) {
        if ((keyword == QLatin1String("host") || keyword == QLatin1String("port")) && value.isEmpty())
            continue; // libpq's default
        // The values are read as UTF-8, whatever the URI asks for.
        if (keyword == QLatin1String("client_encoding"))
            continue;
        if (keyword == QLatin1String("options")) {
            options = value;
            continue;
        }
        // A structured binding is not captured by every compiler.
        const QString &name = keyword;
        defaults.removeIf([&name](const auto &d) { return name == d.first; });
        params.append({keyword.toUtf8(), value.toUtf8()});
    }
    for (const auto &[keyword, value] : defaults)
        params.append({QByteArray(keyword.data(), keyword.size()), QByteArray(value.data(), value.size())});
    params.append({QByteArrayLiteral("client_encoding"), QByteArrayLiteral("UTF8")});
    if (!settings.isEmpty())
        options = options.isEmpty() ? settings : options + u' ' + settings;
    if (!options.isEmpty())
        params.append({QByteArrayLiteral("options"), options.toUtf8()});
    return params;
}

} // namespace rux::pg
