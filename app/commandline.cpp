#include "app/commandline.h"

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

QString strayOption(const QStringList &arguments)
{
    if (arguments.isEmpty() || arguments.front().size() < 2 || !arguments.front().startsWith(QLatin1Char('-')))
        return QString();
    return arguments.front();
}

QString argumentText(const QStringList &arguments)
{
    return arguments.join(QLatin1Char(' '));
}

QString helpText()
{
    return QStringLiteral("Usage: bexlow [PORT,SPEED,PARITY,DATABITS,STOPBITS]\n"
                          "       bexlow -h | --help | --version\n"
                          "Types the text that arrives on a serial port into the window that has the\n"
                          "keyboard focus (X11 and XWayland windows).\n"
                          "\n"
                          "The argument's first character is the port number (1 to 9), the second is\n"
                          "skipped, the rest is the line settings string. Without an argument the port\n"
                          "and line settings come from the saved settings (set with the Settings\n"
                          "button), or port 1 at 9600,n,8,1.\n"
                          "\n"
                          "  SPEED     bits per second, such as 9600\n"
                          "  PARITY    n none, e even, o odd, m mark, s space\n"
                          "  DATABITS  5 to 8\n"
                          "  STOPBITS  1 or 2\n"
                          "\n"
                          "Example:\n"
                          "  bexlow 1,9600,n,8,1    port 1, 9600 bits/s, no parity, 8 data bits, 1 stop bit\n"
                          "\n"
                          "Files:\n"
                          "  ~/.config/bexlow.conf   saved settings, and the port map: port n is the\n"
                          "                          device named by Com<n>= in section [Ports], e.g.\n"
                          "                            [Ports]\n"
                          "                            Com3=/dev/serial/by-id/usb-FTDI_...\n"
                          "                          and /dev/ttyS<n-1> without one (Com1 is /dev/ttyS0)\n"
                          "                          and texts typed in place of control characters,\n"
                          "                          e.g. [ControlCharacters] GS=| for the GS that\n"
                          "                          separates the fields of GS1 barcodes\n"
                          "  ~/.config/BexxLow.conf  the last command-line configuration\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help  show this help and exit\n"
                          "  --version   show the version and exit\n"
                          "Each must be the only argument. Any other argument that begins with '-'\n"
                          "is named on stderr and ignored, and the saved settings are used.\n"
                          "\n"
                          "Exit status: 0 when the window is closed; 1 when start-up fails (the port\n"
                          "cannot be opened, or the settings are not valid); 128+N when signal N\n"
                          "ends it (143 for SIGTERM).\n"
                          "\n"
                          "More: man bexlow\n");
}

QString versionText()
{
    return QStringLiteral("bexlow " BEXLOW_VERSION "\n");
}

} // namespace CommandLine
