#include "script/linestore.h"

#include <QStringDecoder>

#include <cstring>
#include <limits>

namespace rux {

namespace {

// The UTF-16 text of UTF-8 bytes. QString::fromUtf8 drops a byte-order mark
// at the start; inside a script it is a character of the line and stays.
QString decodeLine(const char *bytes, qsizetype size)
{
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        return decoder.decode(QByteArrayView(bytes, size));
    }
    return QString::fromUtf8(bytes, size);
}

// Characters that end a block in the editor's document besides CR and LF.
bool endsBlock(char16_t u)
{
    return u == 0x2029 || u == 0xFDD0 || u == 0xFDD1;
}

// The length of the line break at `i` of `s` (0: none there).
qsizetype breakAt(QStringView s, qsizetype i)
{
    const char16_t u = s[i].unicode();
    if (u == u'\r')
        return i + 1 < s.size() && s[i + 1] == u'\n' ? 2 : 1;
    return u == u'\n' || endsBlock(u) ? 1 : 0;
}

// Whether a text may have a line break: every break character is below
// U+000E or at least U+2000. Four characters are tested at once, as the
// lanes of a 64-bit word: a lane of U+2000 or more has one of its top three
// bits set, and a lane below U+000E turns up in the well-known test for a
// lane less than a value (a borrow out of it sets its top bit, which the
// lane itself does not have). Substitution writes back many lines, and a
// value rarely holds a break.
bool mayHoldBreak(QStringView text)
{
    constexpr quint64 kHigh = 0xE000E000E000E000ULL;
    constexpr quint64 kBelow = 0x000E000E000E000EULL;
    constexpr quint64 kTop = 0x8000800080008000ULL;
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    for (; end - p >= 4; p += 4) {
        quint64 w;
        std::memcpy(&w, p, sizeof w);
        if ((w & kHigh) || ((w - kBelow) & ~w & kTop))
            return true;
    }
    for (; p < end; ++p) {
        if (*p < 0x000E || *p >= 0x2000)
            return true;
    }
    return false;
}

// Whether a text has a line break.
bool hasBreak(QStringView text)
{
    if (!mayHoldBreak(text))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (breakAt(text, i) != 0)
            return true;
    }
    return false;
}

// The blocks of a text, split by the document's rule.
QList<QString> splitBlocks(const QString &text)
{
    QList<QString> blocks;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = breakAt(text, i);
        if (length == 0) {
            ++i;
            continue;
        }
        blocks.append(text.sliced(from, i - from));
        i += length;
        from = i;
    }
    blocks.append(from == 0 ? text : text.sliced(from));
    return blocks;
}

} // namespace

LineStore LineStore::fromText(const QString &text)
{
    return fromBlocks(splitBlocks(text));
}

LineStore LineStore::fromBlocks(const QList<QString> &blocks)
{
    LineStore store;
    store.replaceBlocks(0, 1, blocks);
    return store;
}

LineStore LineStore::fromUtf8(const QByteArray &bytes, qsizetype from, qsizetype to)
{
    Q_ASSERT(bytes.size() <= qsizetype(std::numeric_limits<quint32>::max()));
    LineStore store;
    store.m_bytes = bytes;
    store.m_entries.clear();
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = to < 0 ? bytes.size() : to;
    qsizetype start = from;
    qsizetype i = from;
    const auto cut = [&](qsizetype end, qsizetype next) {
        store.m_entries.push_back(Entry{quint32(start), qint32(end - start)});
        start = i = next;
    };
    // Eight bytes are tested at once, as the lanes of a 64-bit word, for a
    // byte that may begin a break (below 0x0E, or 0xE0 and up: all three
    // top bits set) and for a byte outside ASCII; only a word with the
    // first is looked at byte by byte.
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    constexpr quint64 kTop = 0x8080808080808080ULL;
    quint64 high = 0;
    while (i < size) {
        if (size - i >= 8) {
            quint64 w;
            std::memcpy(&w, s + i, sizeof w);
            high |= w;
            const quint64 below = (w - 0x0E * kOnes) & ~w & kTop;
            const quint64 topThree = w & (w << 1) & (w << 2) & kTop;
            if (!(below | topThree)) {
                i += 8;
                continue;
            }
        }
        // Only these bytes can begin a break: CR, LF and the first byte of
        // U+2029 (E2 80 A9), U+FDD0 and U+FDD1 (EF B7 90, EF B7 91).
        const unsigned char b = s[i];
        high |= b;
        if (b == u'\n')
            cut(i, i + 1);
        else if (b == u'\r')
            cut(i, i + 1 < size && s[i + 1] == u'\n' ? i + 2 : i + 1);
        else if (i + 2 < size && ((b == 0xE2 && s[i + 1] == 0x80 && s[i + 2] == 0xA9)
                                  || (b == 0xEF && s[i + 1] == 0xB7 && (s[i + 2] == 0x90 || s[i + 2] == 0x91))))
            cut(i, i + 3);
        else
            ++i;
    }
    store.m_entries.push_back(Entry{quint32(start), qint32(size - start)});
    // All ASCII: a line's bytes are its characters.
    store.m_ascii = (high & kTop) == 0;
    return store;
}

LineStore::Entry LineStore::own(QString text, bool dollar)
{
    const qint32 kind = dollar ? kOwnedWithDollar : kOwnedWithoutDollar;
    if (!m_freeOwned.empty()) {
        const quint32 at = m_freeOwned.back();
        m_freeOwned.pop_back();
        m_owned[at] = std::move(text);
        return Entry{at, kind};
    }
    m_owned.push_back(std::move(text));
    return Entry{quint32(m_owned.size() - 1), kind};
}

void LineStore::release(const Entry &e)
{
    if (e.size >= 0)
        return;
    m_owned[e.at] = QString();
    m_freeOwned.push_back(e.at);
}

int LineStore::lineCount() const
{
    const Entry &last = m_entries.back();
    const bool emptyLast = last.size < 0 ? ownedAt(last).isEmpty() : last.size == 0;
    return int(m_entries.size()) - (emptyLast ? 1 : 0);
}

QString LineStore::block(int index) const
{
    if (index < 0 || index >= blockCount())
        return QString();
    const Entry &e = m_entries[size_t(index)];
    if (e.size < 0)
        return m_owned[e.at];
    if (m_ascii)
        return QString::fromLatin1(m_bytes.constData() + e.at, e.size);
    return decodeLine(m_bytes.constData() + e.at, e.size);
}

QString LineStore::line(int index) const
{
    return index < lineCount() ? block(index) : QString();
}

bool LineStore::lineHolds(int index, char16_t ascii) const
{
    Q_ASSERT(ascii < 0x80);
    if (index < 0 || index >= lineCount())
        return false;
    const Entry &e = m_entries[size_t(index)];
    if (e.size < 0)
        return ascii == u'$' ? e.size == kOwnedWithDollar : m_owned[e.at].contains(QChar(ascii));
    // An ASCII byte in UTF-8 is always that character.
    return std::memchr(m_bytes.constData() + e.at, ascii, size_t(e.size)) != nullptr;
}

void LineStore::setLine(int index, const QString &text)
{
    if (index < 0 || index >= lineCount())
        return;
    if (hasBreak(text)) {
        replaceBlocks(index, 1, splitBlocks(text));
        return;
    }
    const bool dollar = text.contains(u'$');
    Entry &e = m_entries[size_t(index)];
    if (e.size < 0) {
        m_owned[e.at] = text;
        e.size = dollar ? kOwnedWithDollar : kOwnedWithoutDollar;
    } else {
        e = own(text, dollar);
    }
}

void LineStore::keepDecoded(int index, const QString &text)
{
    Q_ASSERT(text == line(index));
    if (index < 0 || index >= lineCount() || m_entries[size_t(index)].size < 0)
        return;
    const Entry &e = m_entries[size_t(index)];
    const bool dollar = std::memchr(m_bytes.constData() + e.at, '$', size_t(e.size)) != nullptr;
    m_entries[size_t(index)] = own(text, dollar);
}

void LineStore::replaceBlocks(int first, int count, const QList<QString> &blocks)
{
    Q_ASSERT(first >= 0 && count >= 0 && first + count <= blockCount());
    for (int i = first; i < first + count; ++i)
        release(m_entries[size_t(i)]);
    std::vector<Entry> made;
    made.reserve(size_t(blocks.size()));
    for (const QString &b : blocks)
        made.push_back(own(b, b.contains(u'$')));
    const auto at = m_entries.begin() + first;
    m_entries.insert(m_entries.erase(at, at + count), made.begin(), made.end());
    if (m_entries.empty())
        m_entries.push_back(own(QString(), false));
}

QString LineStore::joined(QStringView separator) const
{
    QString out;
    for (int i = 0; i < blockCount(); ++i) {
        if (i > 0)
            out.append(separator);
        out.append(block(i));
    }
    return out;
}

QString LineStore::text() const
{
    return joined(u"\r\n");
}

QString LineStore::documentText() const
{
    return joined(u"\n");
}

qsizetype LineStore::textSize() const
{
    qsizetype units = 2 * (qsizetype(m_entries.size()) - 1);
    for (const Entry &e : m_entries) {
        if (e.size < 0) {
            units += ownedAt(e).size();
            continue;
        }
        // One unit for each byte that starts a character, a second one for
        // each character outside the Basic Multilingual Plane.
        const auto *s = reinterpret_cast<const unsigned char *>(m_bytes.constData()) + e.at;
        for (qint32 i = 0; i < e.size; ++i)
            units += ((s[i] & 0xC0) != 0x80) + (s[i] >= 0xF0);
    }
    return units;
}

bool LineStore::fitsIn(qsizetype units) const
{
    // A UTF-8 byte makes at most one UTF-16 unit and a line break two, so
    // most texts fit without counting.
    qsizetype bound = 2 * (qsizetype(m_entries.size()) - 1);
    for (const Entry &e : m_entries)
        bound += e.size < 0 ? ownedAt(e).size() : e.size;
    return bound <= units || textSize() <= units;
}

void ScriptLines::takeLines(LineStore &&lines)
{
    setText(lines.text());
}

} // namespace rux
