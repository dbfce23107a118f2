#include "db/tablename.h"

#include "base/failure.h"

#include <QStringList>

namespace rux {

namespace {

bool isControlOrBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QStringView trimControlsAndBlanks(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isControlOrBlank(text[from]))
        ++from;
    while (to > from && isControlOrBlank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

[[noreturn]] void failInvalid(const QString &name)
{
    throw Failure(QStringLiteral("Invalid table name: %1").arg(name));
}

} // namespace

QString applyBracketRule(const QString &name)
{
    if (!name.contains(u' ') || name.startsWith(u'['))
        return name;
    const qsizetype dot = name.indexOf(u'.');
    const qsizetype semi = name.indexOf(u';');
    QString out = name;
    // Insert at the later position first so the earlier one stays valid.
    const qsizetype open = dot < 0 ? 0 : dot + 1;
    const qsizetype close = semi < 0 ? name.size() : semi;
    if (close >= open) {
        out.insert(close, u']');
        out.insert(open, u'[');
    } else {
        out.insert(open, u'[');
        out.insert(close, u']');
    }
    return out;
}

QString tableNameFromBatch(const QString &editTableText)
{
    const QStringView name = trimControlsAndBlanks(editTableText);
    if (name.isEmpty())
        throw Failure(QStringLiteral("edit_table: no table name given"));
    qsizetype lineEnd = 0;
    while (lineEnd < name.size() && name[lineEnd] != u'\r' && name[lineEnd] != u'\n')
        ++lineEnd;
    if (lineEnd < name.size()) {
        const QString firstLine = trimControlsAndBlanks(name.left(lineEnd)).toString();
        throw Failure(QStringLiteral("edit_table: the table name \"%1\" is followed by further "
                                     "lines; put edit_table and its table name alone in a batch")
                          .arg(firstLine));
    }
    return name.toString();
}

TableRef parseTableName(const QString &name)
{
    if (name.contains(u';'))
        failInvalid(name);
    const QStringView s(name);
    const qsizetype n = s.size();
    QStringList parts;
    qsizetype i = 0;
    while (true) {
        QString part;
        if (i < n && s[i] == u'[') {
            const qsizetype close = s.indexOf(u']', i + 1);
            if (close < 0)
                failInvalid(name);
            part = s.mid(i + 1, close - i - 1).toString();
            i = close + 1;
        } else if (i < n && s[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (s[i] == u'"') {
                    if (i + 1 < n && s[i + 1] == u'"') {
                        part += u'"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                part += s[i];
                ++i;
            }
            if (!closed)
                failInvalid(name);
        } else {
            const qsizetype begin = i;
            while (i < n && s[i] != u'.') {
                if (s[i] == u'[' || s[i] == u']' || s[i] == u'"')
                    failInvalid(name);
                ++i;
            }
            part = s.mid(begin, i - begin).toString();
        }
        if (part.isEmpty())
            failInvalid(name);
        parts.append(part);
        if (i >= n)
            break;
        if (s[i] != u'.')
            failInvalid(name);
        ++i;
        if (parts.size() == 2)
            failInvalid(name);
    }
    TableRef ref;
    if (parts.size() == 2) {
        ref.schema = parts.at(0);
        ref.table = parts.at(1);
    } else {
        ref.table = parts.at(0);
    }
    return ref;
}

QString quoteIdentifier(const QString &identifier)
{
    QString out;
    out.reserve(identifier.size() + 2);
    out += u'"';
    for (const QChar c : identifier) {
        out += c;
        if (c == u'"')
            out += u'"';
    }
    out += u'"';
    return out;
}

} // namespace rux
