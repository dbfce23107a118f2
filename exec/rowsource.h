#pragma once

#include "base/ansicodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace rux {

// The rows of an open result as the export reads them: the cursor
// operations of the query object. Each may throw Failure (for example on a
// closed query).
class RowSource
{
public:
    virtual ~RowSource() = default;

    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() = 0;
    virtual int fieldCount() = 0;
    // Fields are numbered from 1 to fieldCount().
    virtual QString fieldName(int field) = 0;
    virtual QString asString(int field) = 0;
    // Appends asString(field) encoded as the export file holds it
    // (appendAnsi). A source that can give the bytes without building the
    // text first does so.
    virtual void appendAnsiText(int field, QByteArray &out) { appendAnsi(out, asString(field)); }
    // Appends the text of each of `fields` (numbers from 1), each followed
    // by `separator`: a line of the export without its line break.
    virtual void appendFieldsAnsi(const std::vector<int> &fields, QByteArrayView separator, QByteArray &out)
    {
        for (int j : fields) {
            appendAnsiText(j, out);
            out.append(separator);
        }
    }
};

} // namespace rux
