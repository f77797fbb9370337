// Typing on GNOME and KDE: a headless mutter on a private session bus, foot in raw
// mode as the focused receiver, and the real bexlow on a pty. mutter takes
// its layout at start from org.freedesktop.locale1, played here by
// fakelocale1.py; a new layout means a new mutter, and bexlow, left
// running, has to follow it.
//
// bexlow's own window goes to Qt's offscreen platform: mutter focuses each
// new window, and nothing lets a test hand the focus back to foot.
#include "tests/receivers/typingtestsupport.h"
#include "tests/support/eventloop.h"
#include "tests/support/ptypair.h"
#include "tests/support/tempconfig.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The characters first..last.
QString range(char32_t first, char32_t last)
{
    QString text;
    for (char32_t c = first; c <= last; ++c)
        text += QString::fromUcs4(&c, 1);
    return text;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
    }
}

// The runtime folder (0700) and session bus the desktop and bexlow share;
// it sets the variables that lead there for this process and its children.
struct PrivateSession
{
    PrivateSession()
    {
        const QString address = QStringLiteral("unix:path=%1/bus").arg(runtime.path());
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--address=") + address});
        processEventsUntil([&] { return QFileInfo::exists(runtime.filePath(QStringLiteral("bus"))); }, 10000);
        for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"})
            qputenv(name, address.toUtf8());
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("WAYLAND_DISPLAY", "bexlow-test-desktop");
        qputenv("LC_ALL", "C.UTF-8");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qunsetenv("DISPLAY");
        connection = QDBusConnection::connectToBus(address, QStringLiteral("test"));
    }
    ~PrivateSession()
    {
        // A later session's connection of the same name would be this one.
        QDBusConnection::disconnectFromBus(connection.name());
        stop(bus);
    }
    bool offers(const char *service) const
    {
        return connection.interface()->isServiceRegistered(QLatin1String(service)).value();
    }

    QTemporaryDir runtime;
    QProcess bus;
    QDBusConnection connection{QString()};
};

// mutter with a layout, and foot focused in it recording what it receives.
struct MutterDesktop
{
    MutterDesktop(const PrivateSession &session, const QString &layout)
    {
        locale.start(QStringLiteral(BEXLOW_SOURCE_DIR "/tests/keyboard/fakelocale1.py"), {layout});
        processEventsUntil([&] { return session.offers("org.freedesktop.locale1"); }, 10000);
        mutter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mutter.start(QStringLiteral("mutter"),
                     {QStringLiteral("--headless"), QStringLiteral("--wayland"), QStringLiteral("--no-x11"),
                      QStringLiteral("--virtual-monitor"), QStringLiteral("1024x768"),
                      QStringLiteral("--wayland-display"), QStringLiteral("bexlow-test-desktop")});
        const QString socket = session.runtime.filePath(QStringLiteral("bexlow-test-desktop"));
        processEventsUntil(
            [&] { return session.offers("org.gnome.Mutter.RemoteDesktop") && QFileInfo::exists(socket); }, 20000);
        const QString ready = folder.filePath(QStringLiteral("ready"));
        foot.start(QStringLiteral("foot"), {QStringLiteral("sh"), QStringLiteral("-c"),
                                            QStringLiteral("stty raw -echo; touch '%1'; exec cat > '%2'")
                                                .arg(ready, folder.filePath(QStringLiteral("received")))});
        if (!processEventsUntil([&] { return QFileInfo::exists(ready); }, 20000))
            throw std::runtime_error("foot did not start in mutter");
        processEventsFor(300); // foot maps its window and takes the focus
    }
    ~MutterDesktop()
    {
        stop(foot);
        stop(mutter);
        stop(locale);
    }
    QByteArray received() const { return readFile(folder.filePath(QStringLiteral("received"))); }

    QTemporaryDir folder;
    QProcess locale, mutter, foot;
};

// KWin with a layout (kxkbrc), xterm under its Xwayland recording what it
// receives, and, where granted, a desktop entry that gives bexlow's binary
// the fake input. The copy of kwin_wayland is one without Debian's file
// capability, which some containers refuse.
struct KWinDesktop
{
    enum class FakeInput { Granted, NotGranted };

    KWinDesktop(const QString &layout, FakeInput fakeInput)
    {
        const QString kwin = folder.filePath(QStringLiteral("kwin_wayland"));
        QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), kwin);
        const auto write = [&](const QString &name, const QString &text) {
            QDir(folder.path()).mkpath(QFileInfo(folder.filePath(name)).path());
            QFile file(folder.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(text.toUtf8());
        };
        write(QStringLiteral("config/kxkbrc"), QStringLiteral("[Layout]\nLayoutList=%1\nUse=true\n").arg(layout));
        if (fakeInput == FakeInput::Granted)
            write(QStringLiteral("data/applications/bexlow.desktop"),
                  QStringLiteral("[Desktop Entry]\nType=Application\nName=bexlow\nExec=" BEXLOW_BINARY
                                 "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n"));
        const QString ready = folder.filePath(QStringLiteral("ready"));
        write(QStringLiteral("receiver"), QStringLiteral("#!/bin/sh\nexec xterm -u8 -e sh -c \"stty raw -echo; touch "
                                                         "'%1'; exec cat > '%2'\"\n")
                                              .arg(ready, folder.filePath(QStringLiteral("received"))));
        QFile::setPermissions(kwin, QFile::ReadOwner | QFile::ExeOwner);
        QFile::setPermissions(folder.filePath(QStringLiteral("receiver")), QFile::ReadOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(kwin, {QStringLiteral("--virtual"), QStringLiteral("--xwayland"), QStringLiteral("--width"),
                             QStringLiteral("1024"), QStringLiteral("--height"), QStringLiteral("768"),
                             QStringLiteral("--no-lockscreen"), QStringLiteral("--no-global-shortcuts"),
                             QStringLiteral("--socket"), QStringLiteral("bexlow-test-desktop"),
                             folder.filePath(QStringLiteral("receiver"))});
        if (!processEventsUntil([&] { return QFileInfo::exists(ready); }, 30000))
            throw std::runtime_error("xterm did not start in KWin");
        processEventsFor(500); // xterm maps its window and takes the focus
    }
    ~KWinDesktop() { stop(process); }
    QByteArray received() const { return readFile(folder.filePath(QStringLiteral("received"))); }

    QTemporaryDir folder;
    QProcess process;
};

// The desktop portal as on KDE Plasma: xdg-desktop-portal with KDE's
// backend, which types through KWin's fake input on its own grant.
struct KdePortal
{
    explicit KdePortal(const PrivateSession &session)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        for (QProcess *process : {&kde, &frontend}) {
            process->setProcessEnvironment(environment);
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
        kde.start(QStringLiteral("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"), {});
        processEventsUntil([&] { return session.offers("org.freedesktop.impl.portal.desktop.kde"); }, 20000);
        frontend.start(QStringLiteral("/usr/libexec/xdg-desktop-portal"), {});
        if (!processEventsUntil([&] { return session.offers("org.freedesktop.portal.Desktop"); }, 20000))
            throw std::runtime_error("the desktop portal did not start");
    }
    ~KdePortal()
    {
        stop(frontend);
        stop(kde);
    }

    QProcess kde, frontend;
};

// A text sent, and what arrives if the layout has all its characters.
// Characters the layout lacks are named on stderr and left out; some are
// known to be lacking.
struct Typed
{
    QByteArray sent;
    QString arriving;
    QString lacking = {};
};

class TypingOnDesktop : public ::testing::Test
{
protected:
    template<typename Desktop>
    void expectTyped(const Desktop &desktop, const std::vector<Typed> &texts)
    {
        for (const Typed &text : texts) {
            const qsizetype mark = desktop.received().size();
            const qsizetype errorMark = bexlow.errorOutput().size();
            line.send(text.sent);
            const auto errors = [&] { return QString::fromUtf8(bexlow.errorOutput().mid(errorMark)); };
            processEventsUntil(
                [&] {
                    return errors().endsWith('\n') || desktop.received().size() - mark >= text.arriving.toUtf8().size();
                },
                15000);
            // The one line naming what was not typed: "c (U+XXXX), ...".
            QString reported;
            static const QRegularExpression named(QStringLiteral("\\(U\\+([0-9A-F]+)\\)"));
            for (const auto &match : named.globalMatch(errors())) {
                const char32_t c = match.captured(1).toUInt(nullptr, 16);
                reported += QString::fromUcs4(&c, 1);
            }
            EXPECT_EQ(errors().count('\n'), reported.isEmpty() ? 0 : 1) << errors().toStdString();
            QString expected;
            for (const char32_t c : text.arriving.toUcs4())
                if (!reported.contains(QString::fromUcs4(&c, 1)))
                    expected += QString::fromUcs4(&c, 1);
            for (const char32_t c : text.lacking.toUcs4())
                EXPECT_TRUE(reported.contains(QString::fromUcs4(&c, 1)))
                    << "not named: " << QString::fromUcs4(&c, 1).toStdString();
            for (const char32_t c : reported.toUcs4())
                EXPECT_TRUE(text.arriving.contains(QString::fromUcs4(&c, 1)))
                    << "named: " << QString::fromUcs4(&c, 1).toStdString();
            processEventsUntil([&] { return desktop.received().size() - mark >= expected.toUtf8().size(); }, 15000);
            processEventsFor(300); // and nothing more comes
            EXPECT_EQ(desktop.received().mid(mark).toStdString(), expected.toStdString())
                << "sent: " << text.sent.toStdString();
        }
    }

    PrivateSession session;
    PtyPair line;
    TempConfig config;
    BexlowProcess bexlow;

    TypingOnDesktop() { config.mapPort(1, line.path()); }
};

} // namespace

TEST_F(TypingOnDesktop, MutterTypesExactlyWhatEachLayoutHasAndNamesTheRest)
{
    {
        MutterDesktop desktop(session, QStringLiteral("us"));
        startTyping(bexlow, line.path());
        // It chose mutter's service by itself: no notice, nothing unavailable.
        EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
        expectTyped(
            desktop,
            {
                // The first key after start is not lost.
                {"a1 Z", QStringLiteral("a1 Z")},
                {"Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\n\tx\b\x1b!",
                 QStringLiteral("Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\tx\x7f\x1b!"), QStringLiteral("éØЖж中😀\u0301")},
                // Every byte value; what is not UTF-8 is read as Latin-1.
                {range(0, 0xff).toLatin1(), QStringLiteral("\x7f\t\r\r\x1b") + range(0x20, 0x7e) + range(0xa0, 0xff),
                 range(0xc0, 0xff)},
                // Key syntax is typed as it is, never as a shortcut.
                {"^w%{F4}+{TAB}~{ENTER}!a#b", QStringLiteral("^w%{F4}+{TAB}~{ENTER}!a#b")},
            });
    }
    // bexlow, still running, follows the new layout of a new mutter.
    {
        MutterDesktop desktop(session, QStringLiteral("de"));
        expectTyped(desktop, {{"zyäöüÄÖÜß€@{[]}\\|~µ²³°§^` øØ Ω中", QStringLiteral("zyäöüÄÖÜß€@{[]}\\|~µ²³°§^` øØ Ω中"),
                               QStringLiteral("中")}});
    }
    {
        MutterDesktop desktop(session, QStringLiteral("fr"));
        expectTyped(desktop, {{"azqwéèçàù²&\"'(-_)=~#{[|`\\^@]}€ É中",
                               QStringLiteral("azqwéèçàù²&\"'(-_)=~#{[|`\\^@]}€ É中"), QStringLiteral("中")}});
    }
}

TEST_F(TypingOnDesktop, KWinTypesExactlyWhatTheLayoutHasAndNamesTheRest)
{
    KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::Granted);
    startTyping(bexlow, line.path());
    // It chose KWin's fake input by itself: no notice, nothing unavailable.
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
    expectTyped(desktop, {
                             // The first key after start is not lost.
                             {"a1 Z", QStringLiteral("a1 Z")},
                             {"zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中\r\tx\b\x1b!",
                              QStringLiteral("zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中\r\tx\x7f\x1b!"), QStringLiteral("中")},
                             {"^w%{F4}+{TAB}~{ENTER}!a#b", QStringLiteral("^w%{F4}+{TAB}~{ENTER}!a#b")},
                         });
}

TEST_F(TypingOnDesktop, KWinWithoutFakeInputForBexlowTypesThroughThePortal)
{
    KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::NotGranted);
    KdePortal portal(session);
    startTyping(bexlow, line.path());
    // It chose the portal by itself, which asked no one.
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
    expectTyped(desktop, {
                             {"a1 Z", QStringLiteral("a1 Z")},
                             {"zyäöüÄÖÜß€@{[]}\\|~µ²³° øØ Ω中\r\tx\b!",
                              QStringLiteral("zyäöüÄÖÜß€@{[]}\\|~µ²³° øØ Ω中\r\tx\x7f!"), QStringLiteral("中")},
                             {"^w%{F4}+{TAB}~{ENTER}!a#b", QStringLiteral("^w%{F4}+{TAB}~{ENTER}!a#b")},
                         });
}

TEST_F(TypingOnDesktop, APortalThatKeepsGrantsIsAskedWithTheTokenOfTheLastStart)
{
    // Debian 12's portal keeps no grant: a stand-in of version 2 plays it.
    KWinDesktop desktop(QStringLiteral("us"), KWinDesktop::FakeInput::NotGranted);
    const QString log = session.runtime.filePath(QStringLiteral("portal.log"));
    QProcess portal;
    portal.start(QStringLiteral(BEXLOW_SOURCE_DIR "/tests/keyboard/fakeportal.py"), {log});
    processEventsUntil([&] { return session.offers("org.freedesktop.portal.Desktop"); }, 10000);
    for (int start = 1; start <= 2; ++start) {
        BexlowProcess again;
        startTyping(again, line.path());
        EXPECT_EQ(again.errorOutput().toStdString(), "");
    }
    stop(portal);
    EXPECT_EQ(readFile(log).toStdString(), "persist_mode=2 restore_token=\npersist_mode=2 restore_token=granted-1\n");
    EXPECT_TRUE(config.read(QStringLiteral("bexlow")).contains("PortalRestoreToken=granted-2"));
}
