#include "commandline.h"

namespace CommandLine {

Request request(const QStringList &arguments)
{
    if (arguments.size() == 1) {
        if (arguments.front() == QLatin1String("--help") || arguments.front() == QLatin1String("-h"))
            return Request::Help;
        if (arguments.front() == QLatin1String("--version"))
            return Request::Version;
    }
    return Request::Run;
}

QString argumentText(const QStringList &arguments)
{
    return arguments.join(QLatin1Char(' '));
}

QString helpText()
{
    return QStringLiteral(
        "Usage: bexlow [PORT,SPEED,PARITY,DATABITS,STOPBITS]\n"
        "Types the text that arrives on a serial port into the window that has the\n"
        "keyboard focus.\n"
        "\n"
        "With an argument the port and line settings come from it: the first character\n"
        "is the port number (1 to 9), the second is skipped, the rest is the line\n"
        "settings string. Without one they come from the saved settings (set with the\n"
        "Settings button), or port 1 at 9600,n,8,1.\n"
        "\n"
        "  PARITY    n none, e even, o odd, m mark, s space\n"
        "  DATABITS  5 to 8\n"
        "  STOPBITS  1 or 2\n"
        "\n"
        "Example:\n"
        "  bexlow 1,9600,n,8,1\n"
        "\n"
        "Files:\n"
        "  ~/.config/bexlow.conf   saved settings; [Ports] Com<n>=DEVICE maps port n\n"
        "                          to a device (default /dev/ttyS<n-1>)\n"
        "  ~/.config/BexxLow.conf  the last command-line configuration\n"
        "\n"
        "Options:\n"
        "  --help     show this help and exit\n"
        "  --version  show the version and exit\n"
        "\n"
        "More: man bexlow\n");
}

QString versionText()
{
    return QStringLiteral("bexlow " BEXLOW_VERSION "\n");
}

} // namespace CommandLine
