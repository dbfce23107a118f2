#pragma once

#include "db/sqldataset.h"

#include <QByteArrayView>

#include <QStringList>

#include <vector>

namespace rux {

// The query object (`Query1`): a list of SQL lines whose text is run on the
// connection, either without a result (ExecSQL) or as an open result set
// (Open) that is read row by row (First, Next, Eof, fields) and shown in the
// result grid. Its own errors read "<name>: <message>"; engine errors carry
// the engine's text.
class AdoQuery : public SqlDataSet
{
    Q_OBJECT
public:
    AdoQuery(AdoConnection *connection, const QString &objectName, QObject *parent = nullptr);

    // The SQL line list. Each change closes the query first.
    void sqlAdd(const QString &line);
    void sqlClear();
    int sqlCount() const { return int(m_lines.size()); }
    QStringList sqlLines() const { return m_lines; }
    // The lines joined, each followed by CR LF.
    const QString &sqlText() const { return m_text; }

    void Open();
    void ExecSQL();
    void Close();
    bool active() const { return isActive(); }

    void First();
    void Next();
    bool Eof();
    int fieldCount();
    // Fields numbered from 1.
    QString fieldName(int field);
    QString asString(int field);
    // Appends asString(field) in the export's code page.
    void appendAnsiText(int field, QByteArray &out);
    // Appends, for each of `fields` (numbers from 1), its appendAnsiText
    // followed by `separator`.
    void appendFieldsAnsi(const std::vector<int> &fields, QByteArrayView separator, QByteArray &out);

private:
    void changed();
    void requireActive() const;
    void requireText() const;
    void findEditTarget() override;

    QStringList m_lines;
    QString m_text;
    qint64 m_position = 0;
};

} // namespace rux
