#pragma once

#include <QString>
#include <QStringView>

namespace rux {

// Case folding over the letters a to z only. Every other character stays as
// it is, so the folded copy has the same length and a position found in it
// is valid in the original text.
QString asciiLower(QStringView text);
QString asciiUpper(QStringView text);

} // namespace rux
