#include "tests/receivers/waylanddesktop.h"

#include "tests/support/eventloop.h"

#include <QDir>
#include <QFile>

#include <stdexcept>
#include <unistd.h>

constexpr uid_t Nobody = 65534;

WaylandDesktop::WaylandDesktop(Compositor compositor)
    : m_runtime(QStringLiteral("/tmp/bexlow-wayland-XXXXXX"))
{
    const QString runtime = m_runtime.path();
    if (::chown(QFile::encodeName(runtime).constData(), Nobody, Nobody) != 0)
        throw std::runtime_error("cannot hand the runtime folder to nobody");
    const QString xDisplayFile = runtime + QStringLiteral("/display");
    const bool xwayland = compositor == Compositor::SwayWithXwayland;
    // Xwayland, run by nobody, lets only nobody in until told otherwise.
    const QString xwaylandLines =
        xwayland ? QStringLiteral("xwayland force\nexec sh -c 'xhost +si:localuser:root && echo $DISPLAY > %1'\n")
                       .arg(xDisplayFile)
                 : QStringLiteral("xwayland disable\n");
    writeFile(runtime + QStringLiteral("/sway.conf"),
              "output HEADLESS-1 resolution 1024x768\ndefault_border none\n" + xwaylandLines.toUtf8());

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), runtime);
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setStandardOutputFile(QProcess::nullDevice());
    m_compositor.setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments = {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                             QStringLiteral("--clear-groups")};
    if (compositor == Compositor::Weston)
        arguments << QStringLiteral("weston") << QStringLiteral("--backend=headless-backend.so")
                  << QStringLiteral("--socket=wayland-1") << QStringLiteral("--idle-time=0");
    else
        arguments << QStringLiteral("sway") << QStringLiteral("-c") << runtime + QStringLiteral("/sway.conf");
    m_compositor.start(QStringLiteral("setpriv"), arguments);
    const QString socket = runtime + QStringLiteral("/wayland-1");
    const auto ready = [&] { return QFile::exists(socket) && (!xwayland || readFile(xDisplayFile).startsWith(':')); };
    processEventsUntil([&] { return ready() || m_compositor.state() == QProcess::NotRunning; }, 30000);
    if (!ready())
        throw std::runtime_error("the compositor did not start");
    // A path, so clients need not share the compositor's runtime folder.
    m_waylandDisplay.emplace("WAYLAND_DISPLAY", QFile::encodeName(socket));
    m_display.emplace("DISPLAY", xwayland ? readFile(xDisplayFile).trimmed() : QByteArray());
}

qint64 WaylandDesktop::xwaylandPid() const
{
    // Xwayland runs detached from sway; its environment names the runtime.
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString process = QStringLiteral("/proc/") + pid;
        if (readFile(process + QStringLiteral("/comm")) == "Xwayland\n"
            && readFile(process + QStringLiteral("/environ"))
                   .split('\0')
                   .contains("XDG_RUNTIME_DIR=" + QFile::encodeName(m_runtime.path())))
            return pid.toLongLong();
    }
    return 0;
}
