#include "tests/receivers/waylanddesktop.h"

#include "tests/receivers/receiverfiles.h"
#include "tests/support/eventloop.h"

#include <QDir>
#include <QFile>

#include <stdexcept>
#include <unistd.h>

namespace {

const char *const ExportedVariables[] = {"WAYLAND_DISPLAY", "DISPLAY"};
constexpr uid_t Nobody = 65534;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void waitFor(const std::function<bool()> &ready, const QProcess &process, const char *what)
{
    processEventsUntil([&] { return ready() || process.state() == QProcess::NotRunning; }, 30000);
    if (!ready())
        throw std::runtime_error(std::string(what) + " did not start");
}

} // namespace

WaylandDesktop::WaylandDesktop(Compositor compositor)
    : m_runtime(QStringLiteral("/tmp/bexlow-wayland-XXXXXX"))
{
    const QString runtime = m_runtime.path();
    if (::chown(QFile::encodeName(runtime).constData(), Nobody, Nobody) != 0)
        throw std::runtime_error("cannot hand the runtime folder to nobody");
    const QString xDisplayFile = runtime + QStringLiteral("/display");
    const bool xwayland = compositor == Compositor::SwayWithXwayland;
    // Xwayland, run by nobody, lets only nobody in until told otherwise.
    writeFile(
        runtime + QStringLiteral("/sway.conf"),
        QStringLiteral("xwayland %1\noutput HEADLESS-1 resolution 1024x768\ndefault_border none\n%2")
            .arg(xwayland ? QStringLiteral("force") : QStringLiteral("disable"),
                 xwayland
                     ? QStringLiteral("exec sh -c 'xhost +si:localuser:root && echo $DISPLAY > %1'\n").arg(xDisplayFile)
                     : QString())
            .toUtf8());

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
    waitFor([&] { return QFile::exists(socket) && (!xwayland || readFile(xDisplayFile).startsWith(':')); },
            m_compositor, "the compositor");

    for (int i = 0; i < 2; ++i)
        m_savedEnvironment[i] = qgetenv(ExportedVariables[i]);
    // A path, so clients need not share the compositor's runtime folder.
    qputenv("WAYLAND_DISPLAY", QFile::encodeName(socket));
    if (xwayland)
        qputenv("DISPLAY", readFile(xDisplayFile).trimmed());
    else
        qunsetenv("DISPLAY");
}

WaylandDesktop::~WaylandDesktop()
{
    for (int i = 0; i < 2; ++i) {
        if (m_savedEnvironment[i].isNull())
            qunsetenv(ExportedVariables[i]);
        else
            qputenv(ExportedVariables[i], m_savedEnvironment[i]);
    }
    m_compositor.terminate();
    if (!m_compositor.waitForFinished(10000)) {
        m_compositor.kill();
        m_compositor.waitForFinished(5000);
    }
}

bool WaylandDesktop::focus(qint64 pid) const
{
    const QStringList sockets = QDir(m_runtime.path()).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
    if (sockets.isEmpty())
        return false;
    QProcess message;
    message.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), m_runtime.filePath(sockets.first()),
                                              QStringLiteral("[pid=%1] focus").arg(pid)});
    const bool focused = message.waitForFinished(10000) && message.exitCode() == 0;
    processEventsFor(200);
    return focused;
}

WaylandReceiver::WaylandReceiver(Kind kind)
{
    const QString file = m_dir.filePath(QStringLiteral("received"));
    const QString ready = m_dir.filePath(QStringLiteral("ready"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    const QString rawTerminal = QStringLiteral("stty raw -echo; : > '%1'; exec cat >> '%2'").arg(ready, file);
    switch (kind) {
    case Kind::Foot:
        m_process.start(QStringLiteral("foot"), {QStringLiteral("sh"), QStringLiteral("-c"), rawTerminal});
        break;
    case Kind::Xterm:
        m_process.start(QStringLiteral("xterm"), {QStringLiteral("-u8"), QStringLiteral("-e"), QStringLiteral("sh"),
                                                  QStringLiteral("-c"), rawTerminal});
        break;
    case Kind::QtText:
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(BEXLOW_QT_RECEIVER), {file, ready, m_dir.filePath(QStringLiteral("mods"))});
        break;
    case Kind::Chromium:
        // It writes `ready` once the page has the focus.
        m_process.start(QStringLiteral(BEXLOW_CHROMIUM_RECEIVER),
                        {QStringLiteral("--wayland"), file, ready, m_dir.filePath(QStringLiteral("mods"))});
        break;
    }
    waitFor([&] { return QFile::exists(ready); }, m_process, "the receiver");
    // The compositor gives the new window the focus; let it arrive.
    processEventsFor(300);
}

WaylandReceiver::~WaylandReceiver()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray WaylandReceiver::text() const
{
    return readFile(m_dir.filePath(QStringLiteral("received")));
}

QByteArray WaylandReceiver::modifiers() const
{
    return readFile(m_dir.filePath(QStringLiteral("mods"))).trimmed();
}

void WaylandReceiver::waitForLength(qsizetype mark, qsizetype length, int timeoutMs) const
{
    processEventsUntilQuietAt([&] { return text().size() - mark; }, length, timeoutMs);
}
