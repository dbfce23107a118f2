#pragma once

#include <QString>

class QApplication;
class QFont;

namespace rux {

// The name of the program's visual style and the resource that carries it.
inline QString styleName() { return QStringLiteral("Slate Classico"); }
inline QString styleResource() { return QStringLiteral(":/SLATECLASSICO"); }

// Makes the style carried by `resource` the look of the whole program: its
// palette and style sheet. When the resource is missing, an error box says
// "Stil 'Slate Classico' nicht gefunden" and the standard look stays.
// Returns whether the style was applied.
bool applyStyle(QApplication &app, const QString &resource);

// The program's font: Tahoma where the system has it, its narrow
// substitute otherwise, so captions fit the fixed control widths.
QFont programFont();

} // namespace rux
