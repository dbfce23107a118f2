#include "exec/batchtext.h"

#include "base/textfold.h"

#include <array>

namespace rux {

namespace {

const QLatin1String kExportKeyword("totxt");
const QLatin1String kEditTableKeyword("edit_table");

// Whether the folded text holds "insert", "update", "delete", "into",
// "drop" or "edit_table" anywhere: one pass over the text, looking for a
// keyword only where its first letter stands.
bool holdsDataChangeWord(QStringView lower)
{
    static const std::array<QLatin1String, 6> keywords = {
        QLatin1String("insert"), QLatin1String("update"), QLatin1String("delete"),
        QLatin1String("into"),   QLatin1String("drop"),   kEditTableKeyword,
    };
    const qsizetype size = lower.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = lower[i].unicode();
        if (c != u'i' && c != u'u' && c != u'd' && c != u'e')
            continue;
        const QStringView rest = lower.mid(i);
        for (const QLatin1String &keyword : keywords) {
            if (keyword[0] == c && rest.startsWith(keyword))
                return true;
        }
    }
    return false;
}

// The table name after the "edit_table" at `at` (-1: none), as
// editTableText() takes it.
QString editTableTextAt(const QString &batchText, qsizetype at)
{
    // Ten characters of the keyword and the one after it.
    const qsizetype start = at + kEditTableKeyword.size() + 1;
    if (at < 0 || start >= batchText.size())
        return QString();
    return batchText.mid(start);
}

} // namespace

ExportClause takeExportClause(const QString &batchText)
{
    ExportClause clause;
    qsizetype j = asciiLower(batchText).indexOf(kExportKeyword);
    if (j < 0) {
        clause.sqlText = batchText;
        return clause;
    }

    clause.found = true;
    clause.at = j;
    QString &sql = clause.sqlText;
    sql = batchText;
    // The keyword and the one character after it (as a rule the blank
    // before the name); at the end of the text fewer may be left to cut.
    sql.remove(j, 6);

    const qsizetype size = sql.size();
    while (j < size && sql[j] == u' ')
        ++j;
    // The first character of the name is taken whatever it is, even a CR or
    // a line feed; only from the second one on do CR and blank end the name.
    if (j < size) {
        clause.fileName += sql[j];
        sql[j] = u' ';
        ++j;
    }
    while (j < size && sql[j] != u'\r' && sql[j] != u' ') {
        clause.fileName += sql[j];
        sql[j] = u' ';
        ++j;
    }
    clause.end = j + (batchText.size() - sql.size());
    return clause;
}

BatchReading readBatch(const QString &batchText)
{
    BatchReading reading;
    reading.exportClause = takeExportClause(batchText);
    const QString &text = reading.exportClause.sqlText;
    // One folded copy serves every keyword.
    const QString lower = asciiLower(text);
    if (holdsDataChangeWord(lower)) {
        reading.path = BatchPath::DataChange;
        const qsizetype at = lower.indexOf(kEditTableKeyword);
        if (at >= 0) {
            reading.path = BatchPath::TableEditing;
            const ExportClause &clause = reading.exportClause;
            // The export clause's keyword and the character after it were
            // cut from the text before this position.
            reading.editTableAt = clause.found && at >= clause.at ? at + (batchText.size() - text.size()) : at;
            reading.table = editTableTextAt(text, at);
        }
    }
    return reading;
}

QLatin1String batchPathName(BatchPath path)
{
    switch (path) {
    case BatchPath::ResultSet:
        break;
    case BatchPath::DataChange:
        return QLatin1String("data_change");
    case BatchPath::TableEditing:
        return QLatin1String("table_editing");
    }
    return QLatin1String("result_set");
}

QString firstWord(const QString &sqlText, qsizetype *at)
{
    const qsizetype size = sqlText.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = sqlText[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < size && sqlText[i + 1] == u'-') {
            const qsizetype end = sqlText.indexOf(u'\n', i);
            i = end < 0 ? size : end + 1;
        } else if (c == u'/' && i + 1 < size && sqlText[i + 1] == u'*') {
            const qsizetype end = sqlText.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? size : end + 2;
        } else {
            break;
        }
    }
    if (at)
        *at = i;
    qsizetype end = i;
    while (end < size && (sqlText[end].isLetter() || sqlText[end] == u'_'))
        ++end;
    return sqlText.mid(i, end - i);
}

bool isDataChange(const QString &batchText)
{
    return holdsDataChangeWord(asciiLower(batchText));
}

bool holdsEditTable(const QString &batchText)
{
    return asciiLower(batchText).contains(kEditTableKeyword);
}

QString editTableText(const QString &batchText)
{
    return editTableTextAt(batchText, asciiLower(batchText).indexOf(kEditTableKeyword));
}

} // namespace rux
