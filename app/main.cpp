#include "app/commandline.h"
#include "app/keyboardbackend.h"
#include "app/quitonsignal.h"
#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/keyinjector.h"
#include "store/inisettingsstore.h"
#include "windows/frmterminal.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

// The windows' platform unless the user set QT_QPA_PLATFORM. With an X
// server at hand (Xwayland on a Wayland desktop) the windows are X11 ones:
// the fixed sizes and the dialog centred on the main window are kept there
// as on any X11 desktop, while a Wayland compositor places windows itself.
// Without one they are native Wayland windows; without either, offscreen:
// the program still runs (it cannot type then, and says so).
const char *windowPlatform()
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return "xcb";
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return "wayland";
    return "offscreen";
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", windowPlatform());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexlow"));
    QApplication::setApplicationVersion(QStringLiteral(BEXLOW_VERSION));
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        Report::setBoxShower([](const QString &text) { QMessageBox::warning(nullptr, QString(), text); });

    const QStringList arguments = QApplication::arguments().mid(1);
    switch (CommandLine::request(arguments)) {
    case CommandLine::Request::Help:
        std::fputs(qPrintable(CommandLine::helpText()), stdout);
        return 0;
    case CommandLine::Request::Version:
        std::fputs(qPrintable(CommandLine::versionText()), stdout);
        return 0;
    case CommandLine::Request::Run:
        break;
    }

    // Before anything else installs handlers: a SIGTERM, SIGINT or SIGHUP
    // ends the event loops, also a message box's, so the port is released and
    // the keyboard put back as it was by the destructors below.
    QuitOnSignal::install();

    QString argumentText = CommandLine::argumentText(arguments);
    if (const QString option = CommandLine::strayOption(arguments); !option.isEmpty()) {
        // Most likely a mistyped option: the program goes on as without one.
        Report::line(QStringLiteral("unknown option %1 ignored; starting with the saved settings")
                         .arg(OperationError::quoted(option)));
        argumentText.clear();
    }

    IniSettingsStore store;
    const KeyboardBackend::Made keyboard = KeyboardBackend::make(store);
    frmterminal window(store, *keyboard.injector);
    try {
        window.Form_Load(argumentText);
    } catch (const OperationError &error) {
        Report::alert(error.description());
        // A signal that closed the message box ends the program as a signal does.
        return QuitOnSignal::exitStatus() != 0 ? QuitOnSignal::exitStatus() : 1;
    }
    if (!keyboard.unavailable.isEmpty())
        Report::alert(keyboard.unavailable + QStringLiteral("; received text cannot be typed"));
    // The main loop would forget a signal that came before it runs.
    if (QuitOnSignal::exitStatus() != 0)
        return QuitOnSignal::exitStatus();
    window.show();
    return app.exec();
}
