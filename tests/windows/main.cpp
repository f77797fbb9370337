// GoogleTest entry for the window tests: a QApplication on the display that
// scripts/with-xvfb.sh provides. Also the helpers that ask the X server, one
// of them through Xlib, whose macros clash with Qt's names elsewhere.
#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

QString run(const QString &command)
{
    QProcess process;
    process.start(command.section(u' ', 0, 0), command.section(u' ', 1).split(u' ', Qt::SkipEmptyParts));
    process.waitForFinished();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString xHints(WId window)
{
    const QString hints = run(QStringLiteral("xprop -id %1 WM_NORMAL_HINTS _MOTIF_WM_HINTS").arg(window));
    QStringList facts;
    static const QRegularExpression range(
        QStringLiteral("minimum size: (\\d+) by (\\d+)\\s+\\D*maximum size: (\\d+) by (\\d+)"));
    if (const QRegularExpressionMatch size = range.match(hints); size.hasMatch())
        facts << QStringLiteral("%1x%2-%3x%4")
                     .arg(size.captured(1), size.captured(2), size.captured(3), size.captured(4));
    // Flags, then the functions; without that flag all are offered. "All" (1)
    // turns the meaning round: the bits named are the ones taken away.
    const QStringList motif = hints.section(QStringLiteral("_MOTIF_WM_HINTS) = "), 1).split(QStringLiteral(", "));
    const long offered = motif.size() >= 2 && (motif[0].toLong(nullptr, 0) & 1) ? motif[1].toLong(nullptr, 0) : 1;
    for (const auto &[bit, name] : {std::pair{8L, "minimize"}, {16L, "maximize"}, {32L, "close"}}) {
        if (bool(offered & 1) != bool(offered & bit))
            facts << QLatin1String(name);
    }
    return facts.join(QLatin1Char(' '));
}

void xRequestClose(WId window)
{
    Display *display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, Window(window), False, NoEventMask, &event);
    XCloseDisplay(display); // flushes
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bexlow"));
    // Tests open and close windows one after another; the program's own
    // ending when its main window closes is tested on the real program.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
