#pragma once

#include <QString>
#include <QStringList>

// The program's command line: what the user asked for and the argument text
// that start-up works on.
namespace CommandLine {

enum class Request { Run, Help, Version };

// -h, --help or --version given alone ask for that; anything else runs.
Request request(const QStringList &arguments);

// The first argument when it is an option bexlow does not have (it begins
// with '-'), otherwise an empty text. Such a command line is never a port
// configuration, whose first character is the port number.
QString strayOption(const QStringList &arguments);

// The arguments after the program name joined with single blanks.
QString argumentText(const QStringList &arguments);

QString helpText();
QString versionText();

} // namespace CommandLine
