// The default of EngineResult::appendAnsi, for engines that give the text
// of a cell by its value.

#include "db/engine.h"
#include "db/valuetext.h"
#include "script/ansicodec.h"

namespace rux {

void EngineResult::appendAnsi(int column, QChar decimalPoint, QByteArray &out) const
{
    const QVariant value = this->value(column);
    if (m_columns.decimal.value(column) && value.typeId() == QMetaType::QString) {
        rux::appendAnsi(out, value.toString().replace(u'.', decimalPoint));
        return;
    }
    rux::appendAnsi(out, valueAsString(value, m_columns.yesNo.value(column), decimalPoint));
}

} // namespace rux
