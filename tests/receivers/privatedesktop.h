#pragma once

// A private session bus and desktops on it (KWin, mutter, the desktop
// portal with KDE's backend), for tests that link Qt6::DBus.
#include "tests/receivers/receiverwindow.h"
#include "tests/support/environmentvariable.h"
#include "tests/support/eventloop.h"
#include "tests/support/helpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <iostream>
#include <list>
#include <memory>
#include <string>
#include <vector>

// A process that is stopped with SIGTERM, and waited for, when it goes.
struct Service : QProcess
{
    ~Service() override { stopProcess(*this); }
};

// The runtime folder (0700) and session bus the desktop and bexlow share;
// it sets the variables that lead there for this process and its children
// while it lives.
struct PrivateSession
{
    PrivateSession()
    {
        const QString address = QStringLiteral("unix:path=%1/bus").arg(runtime.path());
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--address=") + address});
        processEventsUntil([&] { return QFileInfo::exists(runtime.filePath(QStringLiteral("bus"))); }, 10000);
        for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"})
            environment.emplace_back(name, address.toUtf8());
        environment.emplace_back("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        environment.emplace_back("WAYLAND_DISPLAY", "bexlow-test-desktop");
        environment.emplace_back("LC_ALL", "C.UTF-8");
        environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
        environment.emplace_back("DISPLAY", QByteArray());
        connection = QDBusConnection::connectToBus(address, QStringLiteral("test"));
    }
    ~PrivateSession()
    {
        // A later session's connection of the same name would be this one.
        QDBusConnection::disconnectFromBus(connection.name());
    }
    // Starts a service and waits until it has its name on the bus. A desktop
    // may have had the bus start another under that name (KWin 6 asks the
    // portal at start): the service is to replace it.
    void startService(QProcess &process, const QString &program, const QStringList &arguments, const char *name,
                      QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel) const
    {
        process.setProcessChannelMode(channels);
        process.start(program, arguments);
        const auto owns = [&] {
            return connection.interface()->servicePid(QLatin1String(name)).value() == process.processId();
        };
        if (!processEventsUntil(owns, 20000))
            throw std::runtime_error(std::string(name) + " did not start");
    }

    // A method call on the bus, without introspection (QDBusInterface's
    // leaves objects behind that the sanitizer reports).
    QDBusMessage call(const QString &service, const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return connection.call(message);
    }

    QTemporaryDir runtime;
    Service bus;
    QDBusConnection connection{QString()};
    std::list<EnvironmentVariable> environment;
};

// KWin with a layout (kxkbrc), xterm under its Xwayland (or foot, a native
// window) recording what it receives, and, where granted, bexlow's desktop entry as installed, which
// gives its binary the fake input. KWin finds the entry in KService's
// database, which since KDE Frameworks 6 holds only the applications an
// application menu takes in: Plasma has its menu, the test one that takes
// every entry. The copy of kwin_wayland is one without Debian's file
// capability, which some containers refuse.
struct KWinDesktop
{
    enum class FakeInput { Granted, NotGranted };
    enum class Receiver { XtermUnderXwayland, Foot };

    KWinDesktop(const QString &layout, FakeInput fakeInput, Receiver receiverKind = Receiver::XtermUnderXwayland)
    {
        const QString kwin = folder.filePath(QStringLiteral("kwin_wayland"));
        const QString receiver = folder.filePath(QStringLiteral("receiver"));
        const QString ready = folder.filePath(QStringLiteral("ready"));
        QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), kwin);
        for (const char *path : {"data/applications", "menus"})
            QDir(folder.path()).mkpath(QLatin1String(path));
        writeFile(folder.filePath(QStringLiteral("kxkbrc")),
                  "[Layout]\nUse=true\nLayoutList=" + layout.toUtf8() + "\n");
        writeFile(folder.filePath(QStringLiteral("menus/applications.menu")),
                  "<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>\n");
        if (fakeInput == FakeInput::Granted)
            writeFile(folder.filePath(QStringLiteral("data/applications/bexlow.desktop")),
                      readFile(QStringLiteral(BEXLOW_SOURCE_DIR "/packaging/bexlow.desktop"))
                          .replace("\nExec=bexlow\n", "\nExec=" BEXLOW_BINARY "\n"));
        // It also leaves where Xwayland is, for other X11 programs.
        writeFile(receiver,
                  QStringLiteral("#!/bin/sh\necho \"$DISPLAY\n$XAUTHORITY\n$$\" > '%1'\nexec %4 sh -c "
                                 "\"stty raw -echo; touch '%2'; exec cat > '%3'\"\n")
                      .arg(folder.filePath(QStringLiteral("xwayland")), ready,
                           folder.filePath(QStringLiteral("received")),
                           receiverKind == Receiver::Foot ? QStringLiteral("foot") : QStringLiteral("xterm -u8 -e"))
                      .toUtf8());
        for (const QString &program : {kwin, receiver})
            QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(kwin, {QStringLiteral("--virtual"), QStringLiteral("--xwayland"), QStringLiteral("--width"),
                             QStringLiteral("1024"), QStringLiteral("--height"), QStringLiteral("768"),
                             QStringLiteral("--no-lockscreen"), QStringLiteral("--no-global-shortcuts"),
                             QStringLiteral("--socket"), QStringLiteral("bexlow-test-desktop"), receiver});
        if (!processEventsUntil([&] { return QFileInfo::exists(ready); }, 30000))
            throw std::runtime_error("the receiver did not start in KWin");
        processEventsFor(500); // the receiver maps its window and takes the focus
        const QList<QByteArray> x = readFile(folder.filePath(QStringLiteral("xwayland"))).split('\n');
        xwayland.emplace_back("DISPLAY", x.value(0));
        xwayland.emplace_back("XAUTHORITY", x.value(1));
        receiverPid = x.value(2).toLongLong();
    }
    QByteArray received() const { return readFile(folder.filePath(QStringLiteral("received"))); }
    // Whether the receiver still runs (KWin reaps it).
    bool receiverRuns() const { return ::kill(pid_t(receiverPid), 0) == 0; }
    // The receivers to try: xterm under Xwayland, and foot where KWin (6.5
    // and later) types any character by its keysym; foot does not start in
    // KWin 5.27's virtual session. (The copy cannot tell its version without
    // starting a desktop.)
    static std::vector<Receiver> receivers()
    {
        if (QProcess::execute(QStringLiteral("sh"),
                              {QStringLiteral("-c"), QStringLiteral("dpkg --compare-versions \"$(dpkg-query -W "
                                                                    "-f='${Version}' kwin-wayland)\" ge 4:6.5")})
            == 0)
            return {Receiver::XtermUnderXwayland, Receiver::Foot};
        return {Receiver::XtermUnderXwayland};
    }

    QTemporaryDir folder;
    Service process;
    qint64 receiverPid = 0;
    // DISPLAY and XAUTHORITY lead to KWin's Xwayland while it lives.
    std::list<EnvironmentVariable> xwayland;
};

// mutter with a layout, and foot focused in it recording what it receives,
// or, in its place, Xwayland for X11 receivers.
struct MutterDesktop
{
    enum class Receiver { Foot, NoneButXwayland };

    MutterDesktop(const PrivateSession &session, const QString &layout, const QString &options = {},
                  Receiver receiver = Receiver::Foot)
    {
        session.startService(locale, QStringLiteral(BEXLOW_SOURCE_DIR "/tests/keyboard/fakelocale1.py"),
                             {layout, QString(), options}, "org.freedesktop.locale1");
        QStringList arguments{QStringLiteral("--headless"),        QStringLiteral("--wayland"),
                              QStringLiteral("--virtual-monitor"), QStringLiteral("1024x768"),
                              QStringLiteral("--wayland-display"), QStringLiteral("bexlow-test-desktop")};
        if (receiver == Receiver::Foot)
            arguments << QStringLiteral("--no-x11");
        // Its output is read for Xwayland's display, and then passed on.
        session.startService(mutter, QStringLiteral("mutter"), arguments, "org.gnome.Mutter.RemoteDesktop",
                             receiver == Receiver::Foot ? QProcess::ForwardedErrorChannel : QProcess::MergedChannels);
        processEventsUntil(
            [&] { return QFileInfo::exists(session.runtime.filePath(QStringLiteral("bexlow-test-desktop"))); }, 20000);
        if (receiver == Receiver::Foot) {
            foot = std::make_unique<ReceiverWindow>(ReceiverWindow::Kind::Foot);
            return;
        }
        // "Using public X11 display :3, ...", and the cookie in the runtime folder.
        static const QRegularExpression display(QStringLiteral("public X11 display (:[0-9]+)"));
        QByteArray said;
        processEventsUntil([&] { return display.match(QString::fromUtf8(said += mutter.readAll())).hasMatch(); },
                           20000);
        const QStringList cookies =
            QDir(session.runtime.path())
                .entryList({QStringLiteral(".mutter-Xwaylandauth.*")}, QDir::Hidden | QDir::Files);
        xwayland.emplace_back("DISPLAY", display.match(QString::fromUtf8(said)).captured(1).toUtf8());
        xwayland.emplace_back("XAUTHORITY", session.runtime.filePath(cookies.value(0)).toUtf8());
        std::cerr << said.toStdString();
        QObject::connect(&mutter, &QProcess::readyRead, [this] { std::cerr << mutter.readAll().toStdString(); });
    }
    // GNOME with several input sources, the one at index `active` in use.
    // GNOME Shell 43 runs headless here, but no key from a remote desktop
    // session reached a window in it, so the test plays the Shell's part:
    // mutter gets the layouts from locale1, Caps Lock switches layouts
    // (grp:caps_toggle) and is pressed `active` times through a remote
    // desktop session, which locks that layout as the Shell does, and the
    // sources go to GSettings (through dconf) as the Shell keeps them, the
    // one in use first in mru-sources.
    MutterDesktop(const PrivateSession &session, const QStringList &sources, int active)
        : MutterDesktop(session, sources.join(','), QStringLiteral("grp:caps_toggle"))
    {
        // The session stays: mutter forgets a layout locked by keys when the
        // keyboard that pressed them goes.
        const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
        const QString path = session
                                 .call(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), service,
                                       QStringLiteral("CreateSession"))
                                 .arguments()
                                 .value(0)
                                 .value<QDBusObjectPath>()
                                 .path();
        const auto keys = [&](const QString &method, const QVariantList &arguments = {}) {
            session.call(service, path, service + QStringLiteral(".Session"), method, arguments);
        };
        keys(QStringLiteral("Start"));
        // A seat without a keyboard gets one with the first key, which is
        // lost (mutter 48 and later): a Shift tap comes first.
        for (const bool down : {true, false})
            keys(QStringLiteral("NotifyKeyboardKeycode"), {42u, down});
        processEventsFor(300);
        for (int press = 0; press < 2 * active; ++press)
            keys(QStringLiteral("NotifyKeyboardKeycode"), {58u, press % 2 == 0});
        session.startService(dconf, QStringLiteral("/usr/libexec/dconf-service"), {}, "ca.desrt.dconf");
        QStringList used = sources;
        used.move(active, 0);
        for (const auto &[key, list] : {std::pair{"sources", sources}, std::pair{"mru-sources", used}})
            QProcess::execute(QStringLiteral("gsettings"),
                              {QStringLiteral("set"), QStringLiteral("org.gnome.desktop.input-sources"),
                               QLatin1String(key), "[('xkb','" + list.join(QStringLiteral("'),('xkb','")) + "')]"});
    }
    QByteArray received() const { return foot->text(); }

    Service locale, mutter, dconf;
    std::unique_ptr<ReceiverWindow> foot;
    // DISPLAY and XAUTHORITY lead to mutter's Xwayland, where it has one.
    std::list<EnvironmentVariable> xwayland;
};

// The desktop portal as on KDE Plasma: xdg-desktop-portal with KDE's
// backend, which types through KWin's fake input on its own grant. Since
// Plasma 6.3 the backend asks the person before a remote desktop session
// unless the permission store holds a standing grant for the program, which
// the person gives once ("flatpak permission-set kde-authorized
// remote-desktop '' yes"); the test gives it, in a store of its own.
struct KdePortal
{
    explicit KdePortal(const PrivateSession &session)
    {
        EnvironmentVariable desktop("XDG_CURRENT_DESKTOP", "KDE"), platform("QT_QPA_PLATFORM", "wayland");
        {
            EnvironmentVariable data("XDG_DATA_HOME", store.path().toUtf8());
            session.startService(permissions, QStringLiteral("/usr/libexec/xdg-permission-store"),
                                 {QStringLiteral("--replace")}, "org.freedesktop.impl.portal.PermissionStore");
        }
        const QDBusMessage granted = callPermissionStore(
            session, "SetPermission",
            {"kde-authorized", true, "remote-desktop", QString(), QStringList{QStringLiteral("yes")}});
        if (granted.type() != QDBusMessage::ReplyMessage)
            throw std::runtime_error("the permission store refused the grant: " + granted.errorMessage().toStdString());
        session.startService(kde, QStringLiteral("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"), {},
                             "org.freedesktop.impl.portal.desktop.kde");
        session.startService(frontend, QStringLiteral("/usr/libexec/xdg-desktop-portal"), {QStringLiteral("--replace")},
                             "org.freedesktop.portal.Desktop");
    }
    // What bexlow says where this portal gives it an EIS connection that it
    // types through (version 2 and a build with libei).
    static std::string typingThroughEis(const PrivateSession &session)
    {
#ifdef BEXLOW_WITH_LIBEI
        if (remoteDesktopVersion(session) >= 2)
            return "bexlow: typing through the compositor's EIS connection that the desktop portal gave\n";
#else
        (void)session;
#endif
        return "";
    }
    static uint remoteDesktopVersion(const PrivateSession &session)
    {
        return session
            .call(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
                  QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                  {QStringLiteral("org.freedesktop.portal.RemoteDesktop"), QStringLiteral("version")})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant()
            .toUInt();
    }
    // The tokens of the remote desktop grants the portal keeps.
    static QStringList grantsKept(const PrivateSession &session)
    {
        return callPermissionStore(session, "List", {"remote-desktop"}).arguments().value(0).toStringList();
    }
    static QDBusMessage callPermissionStore(const PrivateSession &session, const char *method,
                                            const QVariantList &arguments)
    {
        const QString store = QStringLiteral("org.freedesktop.impl.portal.PermissionStore");
        return session.call(store, QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"), store,
                            QLatin1String(method), arguments);
    }

    QTemporaryDir store;
    Service permissions, kde, frontend;
};
