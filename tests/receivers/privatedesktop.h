#pragma once

// A private session bus and KWin on it, for tests that link Qt6::DBus.
#include "tests/support/environmentvariable.h"
#include "tests/support/eventloop.h"
#include "tests/support/helpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <list>

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
    void startService(QProcess &process, const QString &program, const QStringList &arguments, const char *name) const
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
                  QStringLiteral("#!/bin/sh\necho \"$DISPLAY\n$XAUTHORITY\" > '%1'\nexec %4 sh -c "
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
    }
    QByteArray received() const { return readFile(folder.filePath(QStringLiteral("received"))); }
    // KWin 6.5 and later type any character by its keysym (fake input 6).
    // (The copy cannot tell its version without starting a desktop.)
    static bool typesAnyCharacter()
    {
        QProcess query;
        query.start(QStringLiteral("dpkg-query"),
                    {QStringLiteral("-W"), QStringLiteral("-f=${Version}"), QStringLiteral("kwin-wayland")});
        query.waitForFinished();
        const QStringList version = QString::fromUtf8(query.readAllStandardOutput()).section(':', -1).split('.');
        return version.size() >= 2 && std::pair(version[0].toInt(), version[1].toInt()) >= std::pair(6, 5);
    }

    QTemporaryDir folder;
    Service process;
    // DISPLAY and XAUTHORITY lead to KWin's Xwayland while it lives.
    std::list<EnvironmentVariable> xwayland;
};
