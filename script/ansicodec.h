#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace rux {

// The system's ANSI code page: Windows-1252 on this platform. Encoding
// writes "?" for a character the code page cannot hold (one "?" per
// UTF-16 code unit of a character outside the Basic Multilingual Plane is
// avoided: a surrogate pair becomes a single "?").
QByteArray encodeAnsi(QStringView text);
void appendAnsi(QByteArray &out, QStringView text);
QString decodeAnsi(QByteArrayView bytes);

} // namespace rux
