// The statement executor's text rules: the export clause, the
// classification and the "edit_table" text.
//
// Input: one text, used as it is and as a batch the runner builds (each of
// its CR LF-separated parts followed by CR LF). Rules checked:
// - "totxt" is found in any mix of the case of a to z only, first occurrence;
// - without it the batch stays untouched and there is no file name;
// - with it the text before it is kept, the keyword and the one character
//   after it are cut (fewer only where the text ends), and the text keeps
//   its length apart from those characters; after blanks (U+0020 only) the
//   file name starts with the next character whatever it is, then runs to
//   a CR, a blank or the end; every character of the name became a blank,
//   and every other character is kept in its place;
// - a data change is a batch holding one of the six keywords in any case of
//   a to z; the case of the text does not matter; "edit_table" makes one;
// - the "edit_table" text is everything after the keyword and the one
//   character after it, to the end.

#include "fuzz/fuzzinput.h"

#include "exec/batchtext.h"
#include "base/textfold.h"

using fuzz::check;
using fuzz::show;

namespace {

// The first position of `keyword` (small letters) in the text, each letter
// matching itself and its capital only; -1 when there is none.
qsizetype findKeyword(const QString &text, const char *keyword)
{
    const qsizetype m = qsizetype(std::strlen(keyword));
    for (qsizetype at = 0; at + m <= text.size(); ++at) {
        bool match = true;
        for (qsizetype k = 0; k < m && match; ++k) {
            const char16_t want = char16_t(keyword[k]);
            const char16_t c = text[at + k].unicode();
            const bool letter = want >= u'a' && want <= u'z';
            match = c == want || (letter && c == want - 32);
        }
        if (match)
            return at;
    }
    return -1;
}

void checkExportClause(const QString &batch)
{
    const auto where = [&] { return QString(show(batch)); };
    const rux::ExportClause clause = rux::takeExportClause(batch);
    const qsizetype j = findKeyword(batch, "totxt");

    check(clause.found == (j >= 0), "totxt found", where);
    if (j < 0) {
        check(clause.sqlText == batch, "no clause: the batch stays untouched", where);
        check(clause.fileName.isEmpty(), "no clause: no file name", where);
        return;
    }

    const QString &sql = clause.sqlText;
    const qsizetype cut = qMin<qsizetype>(6, batch.size() - j);
    check(sql.size() == batch.size() - cut, "the text keeps its length apart from the cut", where);
    check(QStringView(sql).left(j) == QStringView(batch).left(j), "text before totxt kept", where);

    // The rest after the cut, as it was and as it is now.
    const QStringView before = QStringView(batch).mid(j + cut);
    const QStringView after = QStringView(sql).mid(j);
    qsizetype start = 0;
    while (start < before.size() && before[start] == u' ')
        ++start;
    const QString &name = clause.fileName;
    if (start == before.size()) {
        check(name.isEmpty(), "nothing after the blanks: no file name", where);
    } else {
        check(!name.isEmpty() && name.front() == before[start], "the name starts after the blanks",
              where);
        for (qsizetype k = 1; k < name.size(); ++k)
            check(name[k] != u'\r' && name[k] != u' ', "CR and blank end the name", where);
        const qsizetype end = start + name.size();
        check(end <= before.size() && before.mid(start, name.size()) == name,
              "the name is the text after the blanks", where);
        if (end < before.size())
            check(before[end] == u'\r' || before[end] == u' ', "the name ends at CR or blank", where);
    }
    for (qsizetype k = 0; k < after.size(); ++k) {
        const bool inName = k >= start && k < start + name.size();
        if (inName)
            check(after[k] == u' ', "every character of the name became a blank", where);
        else
            check(after[k] == before[k], "characters outside the name are kept", where);
    }
    // The name no longer stands where it stood.
    if (!name.isEmpty() && name != QString(name.size(), u' '))
        check(after.mid(start, name.size()) != name, "the name is gone from the text", where);
}

void checkClassification(const QString &batch)
{
    const auto where = [&] { return QString(show(batch)); };
    static const char *const keywords[] = {"insert", "update", "delete", "into", "drop", "edit_table"};
    bool any = false;
    for (const char *keyword : keywords)
        any = any || findKeyword(batch, keyword) >= 0;
    check(rux::isDataChange(batch) == any, "data change by the six keywords", where);
    check(rux::isDataChange(rux::asciiUpper(batch)) == any, "keywords in capitals", where);
    check(rux::isDataChange(rux::asciiLower(batch)) == any, "keywords in small letters", where);

    const qsizetype e = findKeyword(batch, "edit_table");
    check(rux::holdsEditTable(batch) == (e >= 0), "edit_table found", where);
    if (e >= 0)
        check(rux::isDataChange(batch), "edit_table is a data change", where);
    const QString table = rux::editTableText(batch);
    if (e < 0 || e + 11 >= batch.size())
        check(table.isEmpty(), "no table text", where);
    else
        check(table == batch.mid(e + 11), "table text is the rest after the keyword", where);
}

void checkBatch(const QString &batch)
{
    checkExportClause(batch);
    checkClassification(batch);
    // The executor classifies the text after the clause is taken out.
    checkClassification(rux::takeExportClause(batch).sqlText + QStringLiteral("\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::text(data, size);
    checkBatch(text);
    QString batch;
    for (const QString &line : text.split(QStringLiteral("\r\n")))
        batch += line + QStringLiteral("\r\n");
    checkBatch(batch);
    return 0;
}
