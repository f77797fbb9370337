#pragma once

#include <QString>

#include <functional>

class OperationError;

// The one channel through which the program tells the user something: a line
// on stderr ("bexlow: ..."), and for what must not be missed, a message box
// too where the program has a screen to show one on.
namespace Report {

// One line on stderr, prefixed with the program's name.
void line(const QString &text);

// A failure as one line: its description and its number.
void failure(const OperationError &error);

// One line on stderr, and a message box where one can be shown.
void alert(const QString &text);

// How alert() shows its box; the program installs this once it has a screen.
// Without one, alert() writes the line only.
using BoxShower = std::function<void(const QString &text)>;
void setBoxShower(BoxShower show);

} // namespace Report
