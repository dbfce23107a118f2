#pragma once

#include "script/scriptlines.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

namespace rux {

// The script's text as a list of lines, held the way a large script costs
// least: a text read from a file stays in one block of UTF-8 bytes, and a
// line is decoded only when it is read; a line written, or taken from the
// editor, is held as text of its own.
//
// The store splits a text into blocks as the editor's document does: at CR
// LF, a lone CR, a lone LF, and at U+2029, U+FDD0 and U+FDD1, which the
// document also takes as the end of a block. A text always has at least one
// block; a text ending in a line break ends in an empty block, which is not
// counted as a line.
class LineStore : public ScriptLines
{
public:
    LineStore() { m_entries.push_back(Entry{0, 0}); }

    // The lines of `text`.
    static LineStore fromText(const QString &text);
    // The blocks given, as the editor's document holds them.
    static LineStore fromBlocks(const QList<QString> &blocks);
    // The lines of valid UTF-8 bytes, from the byte `from` to the byte
    // before `to` (-1: to the end); the bytes are kept as they are, shared
    // with the caller. At most 4 GiB of bytes.
    static LineStore fromUtf8(const QByteArray &bytes, qsizetype from = 0, qsizetype to = -1);

    int lineCount() const override;
    QString line(int index) const override;
    bool lineHolds(int index, char16_t ascii) const override;
    void setLine(int index, const QString &text) override;
    QString text() const override;
    void setText(const QString &text) override { *this = fromText(text); }
    void takeLines(LineStore &&lines) override { *this = std::move(lines); }

    // Holds line `index` as `text`, which is the line's text as line()
    // reads it: a line that is read again and again is then no longer
    // decoded each time.
    void keepDecoded(int index, const QString &text);

    // The blocks, as the editor's document holds them: the lines and the
    // empty block after a last line break.
    int blockCount() const { return int(m_entries.size()); }
    QString block(int index) const;
    // Replaces `count` blocks from `first` on by `blocks` (at least one
    // block stays in the store).
    void replaceBlocks(int first, int count, const QList<QString> &blocks);
    // The text with "\n" between the blocks: what the document is given.
    QString documentText() const;
    // Whether text() has at most `units` UTF-16 code units.
    bool fitsIn(qsizetype units) const;

private:
    // A block: `size` bytes of m_bytes from `at`, or when `size` is
    // negative the text m_owned[at]. An owned text knows whether it holds a
    // "$": the substitution asks that of every line once per parameter.
    struct Entry
    {
        quint32 at;
        qint32 size;
    };
    static constexpr qint32 kOwnedWithDollar = -1;
    static constexpr qint32 kOwnedWithoutDollar = -2;

    QStringView ownedAt(const Entry &e) const { return m_owned[e.at]; }
    Entry own(QString text, bool dollar);
    void release(const Entry &e);
    qsizetype textSize() const;
    QString joined(QStringView separator) const;

    QByteArray m_bytes;
    bool m_ascii = false;
    std::vector<Entry> m_entries;
    std::vector<QString> m_owned;
    std::vector<quint32> m_freeOwned;
};

} // namespace rux
