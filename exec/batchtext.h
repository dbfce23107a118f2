#pragma once

#include <QString>

namespace rux {

// The statement executor's text rules on a batch text (the batch's lines,
// each followed by CR LF). Keywords are searched in a copy lower-cased over
// A to Z only, so a position found in the copy is valid in the text itself;
// every search is a plain substring search and finds a keyword also inside a
// longer word, a name or a quoted literal. Only the first occurrence counts.

// The export clause "totxt <file name>" taken out of a batch.
struct ExportClause
{
    // A "totxt" stands in the batch. sqlText is then the batch without the
    // keyword and the one character after it, with every character of the
    // file name turned into a blank; otherwise sqlText is the batch as given.
    bool found = false;
    QString sqlText;
    // The file name as written; empty when the batch has none (no clause,
    // or a clause at the very end of the text). Empty means no export.
    QString fileName;
    // Where, in the batch text as given, the keyword stands and the
    // clause ends (after the file name); -1 without a clause.
    qsizetype at = -1;
    qsizetype end = -1;
};

// Finds the first "totxt", cuts it and the character after it, skips
// blanks (U+0020 only), takes the next character whatever it is as the
// first character of the name and then every character up to a CR, a blank
// or the end of the text. Each character taken is replaced by a blank.
ExportClause takeExportClause(const QString &batchText);

// What a batch does when it runs, taken from its text the way the run
// takes it: the export clause first, then the path on the rest.
enum class BatchPath { ResultSet, DataChange, TableEditing };

struct BatchReading
{
    ExportClause exportClause;
    BatchPath path = BatchPath::ResultSet;
    // Where "edit_table" stands in the batch text as given; -1 without.
    qsizetype editTableAt = -1;
    // editTableText() of the text without the export clause.
    QString table;
};

BatchReading readBatch(const QString &batchText);

// "result_set", "data_change", "table_editing": the path as the run log
// and the script check name it.
QLatin1String batchPathName(BatchPath path);

// The first word of an SQL text, as written: the letters and underscores
// that stand first after blanks, line breaks and comments ("-- ..." to the
// end of the line, "/* ... */"). Empty when the text starts with anything
// else. `at`, when given, gets where it stands (the text's size when only
// blanks and comments are left).
QString firstWord(const QString &sqlText, qsizetype *at = nullptr);

// The batch changes data: it holds "insert", "update", "delete", "into",
// "drop" or "edit_table" in any mix of case.
bool isDataChange(const QString &batchText);

// The batch holds the tool's own command "edit_table" in any mix of case.
bool holdsEditTable(const QString &batchText);

// The table name of an "edit_table" batch: everything after the keyword and
// the one character that follows it, to the end of the batch and with the
// case as written ("edit_table orders\r\n" gives "orders\r\n"). Empty when
// nothing follows or the batch has no "edit_table".
QString editTableText(const QString &batchText);

} // namespace rux
