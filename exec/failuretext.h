#pragma once

#include <QString>

namespace rux {

// The caption of the failure box: the program file's name without its
// folder, cut before its first ".", with every character after the first
// lower-cased by the platform's mapping and the first one as it stands
// ("RUX_PPP.EXE" gives "Rux_ppp").
QString programTitle(const QString &programFilePath);

// The text the failure box shows: a failure's text with "." appended when
// the text is not empty and its last character's code is greater than that
// of "." (so after a letter, a digit, "?" or ":", but not after ".", "!",
// ",", ")", "-", a blank or a line break).
QString failureDisplayText(const QString &failureText);

// The text of the failure being handled, a Failure or another exception
// (empty for one without a text). Only inside a catch block.
QString currentFailureText();

} // namespace rux
