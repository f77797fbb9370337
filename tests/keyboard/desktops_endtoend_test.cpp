// Typing on GNOME and KDE: a headless mutter on a private session bus, foot in raw
// mode as the focused receiver, and the real bexlow on a pty. mutter takes
// its layout at start from org.freedesktop.locale1, played here by
// fakelocale1.py; a new layout means a new mutter, and bexlow, left
// running, has to follow it.
//
// bexlow's own window goes to Qt's offscreen platform: mutter focuses each
// new window, and nothing lets a test hand the focus back to foot.
#include "tests/receivers/privatedesktop.h"
#include "tests/receivers/receiverwindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace {

// mutter with a layout, and foot focused in it recording what it receives.
struct MutterDesktop
{
    MutterDesktop(const PrivateSession &session, const QString &layout, const QString &options = {})
    {
        session.startService(locale, QStringLiteral(BEXLOW_SOURCE_DIR "/tests/keyboard/fakelocale1.py"),
                             {layout, QString(), options}, "org.freedesktop.locale1");
        session.startService(mutter, QStringLiteral("mutter"),
                             {QStringLiteral("--headless"), QStringLiteral("--wayland"), QStringLiteral("--no-x11"),
                              QStringLiteral("--virtual-monitor"), QStringLiteral("1024x768"),
                              QStringLiteral("--wayland-display"), QStringLiteral("bexlow-test-desktop")},
                             "org.gnome.Mutter.RemoteDesktop");
        processEventsUntil(
            [&] { return QFileInfo::exists(session.runtime.filePath(QStringLiteral("bexlow-test-desktop"))); }, 20000);
        foot = std::make_unique<ReceiverWindow>(ReceiverWindow::Kind::Foot);
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

// The bases go in this order: bexlow ends before the bus does.
class TypingOnDesktop : public ::testing::Test, protected PrivateSession, protected TypingLine
{
protected:
    // Sends each text: what arrives is the expected text less the characters
    // the layout lacks, which are named on one line on stderr.
    template<typename Desktop>
    void expectTyped(const Desktop &desktop, const std::vector<Typed> &texts)
    {
        for (const Typed &text : texts) {
            const qsizetype mark = desktop.received().size();
            const qsizetype errorMark = bexlow.errorOutput().size();
            line.send(text.sent);
            // The line naming what the layout lacks; control characters
            // that are not typed are named in a line of their own.
            static const QRegularExpression layoutLine(QStringLiteral("^bexlow: .*layout has no key for.*\n"),
                                                       QRegularExpression::MultilineOption);
            const auto errors = [&] {
                QString lines;
                for (const auto &match : layoutLine.globalMatch(QString::fromUtf8(bexlow.errorOutput().mid(errorMark))))
                    lines += match.captured();
                return lines;
            };
            processEventsUntil(
                [&] { return errors().endsWith('\n') || desktop.received().size() - mark >= text.expected.size(); },
                15000);
            // The one line naming what was not typed: "c (U+XXXX), ...".
            std::u32string reported;
            static const QRegularExpression named(QStringLiteral("\\(U\\+([0-9A-F]+)\\)"));
            for (const auto &match : named.globalMatch(errors()))
                reported += char32_t(match.captured(1).toUInt(nullptr, 16));
            EXPECT_EQ(errors().count('\n'), reported.empty() ? 0 : 1) << errors().toStdString();
            const std::u32string arriving = QString::fromUtf8(text.expected).toStdU32String();
            std::u32string expected;
            for (const char32_t c : arriving)
                if (reported.find(c) == std::u32string::npos)
                    expected += c;
            for (const char32_t c : reported)
                EXPECT_NE(arriving.find(c), std::u32string::npos) << "named: U+" << std::hex << unsigned(c);
            const QByteArray expectedBytes = QString::fromStdU32String(expected).toUtf8();
            processEventsUntilQuietAt([&] { return desktop.received().size() - mark; }, expectedBytes.size(), 15000);
            EXPECT_EQ(desktop.received().mid(mark).toStdString(), expectedBytes.toStdString())
                << "sent: " << text.sent.toStdString();
        }
    }
};

} // namespace

TEST_F(TypingOnDesktop, MutterTypesExactlyWhatEachLayoutHasAndNamesTheRest)
{
    {
        MutterDesktop desktop(*this, QStringLiteral("us"));
        start();
        // It chose mutter's service by itself: no notice, nothing unavailable.
        EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
        expectTyped(desktop, {
                                 {"a1 Z"}, // the first key after start is not lost
                                 {"Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\n\tx\b\x1b!",
                                  "Café 12.5 kg € Ø Жж 中 😀 e\u0301\r\tx\x7f\x1b!"},
                                 // Every byte value; what is not UTF-8 is read as Latin-1.
                                 {range(0, 0xff).toLatin1(),
                                  (QStringLiteral("\x7f\t\r\r\x1b") + range(0x20, 0x7e) + range(0xa0, 0xff)).toUtf8()},
                                 {"^w%{F4}+{TAB}~{ENTER}!a#b"}, // key syntax typed as it is, never as a shortcut
                             });
        expectTypedThroughAPause(*desktop.foot, desktop.foot->pid());
    }
    // bexlow, still running, follows the new layout of a new mutter.
    for (const auto &[layout, text] : {std::pair{"de", "zyäöüÄÖÜß€@{[]}\\|~µ²³°§^` øØ Ω中"},
                                       std::pair{"fr", "azqwéèçàù²&\"'(-_)=~#{[|`\\^@]}€ É中"}}) {
        MutterDesktop desktop(*this, QString::fromLatin1(layout));
        expectTyped(desktop, {{text}});
    }
}

// What bexlow says where KWin refuses it the fake input and the portal is there.
const std::string throughThePortal =
    "bexlow: KWin does not grant bexlow its fake input, which it gives only to bexlow installed with its desktop "
    "entry (see \"Desktops\" in the README); typing through the desktop portal instead\n";

// What goes to KWin with a German layout, by either way in.
const std::vector<Typed> kwinTexts = {
    {"a1 Z"}, // the first key after start is not lost
    {"zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中 Жж 😀\r\tx\b\x1b!", "zyäöüÄÖÜß€@{[]}\\|~µ²³°§ øØ Ω中 Жж 😀\r\tx\x7f\x1b!"},
    {"^w%{F4}+{TAB}~{ENTER}!a#b"}};

TEST_F(TypingOnDesktop, KWinTypesExactlyWhatTheLayoutHasAndNamesTheRest)
{
    // Through KWin's fake input, which KWin grants to bexlow: into an X11
    // program and, where KWin types any character (foot does not start in
    // KWin 5.27's virtual session), into a native window, naming nothing.
    std::vector<KWinDesktop::Receiver> receivers{KWinDesktop::Receiver::XtermUnderXwayland};
    if (KWinDesktop::typesAnyCharacter())
        receivers.push_back(KWinDesktop::Receiver::Foot);
    for (const auto receiver : receivers) {
        KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::Granted, receiver);
        const qsizetype mark = bexlow.errorOutput().size();
        start();
        EXPECT_EQ(bexlow.errorOutput().mid(mark).toStdString(), ""); // it chose its way in by itself
        expectTyped(desktop, kwinTexts);
        if (receiver == KWinDesktop::Receiver::Foot) {
            EXPECT_EQ(bexlow.errorOutput().mid(mark).toStdString(), "") << "KWin 6.5 or later: nothing is named";
        }
        EXPECT_TRUE(bexlow.stop(SIGTERM));
    }
}

// Characters whose keys differ between the US and the German layout.
const Typed differing = {"yz-/YZ_?"};

TEST_F(TypingOnDesktop, KWinTypesForTheLayoutSwitchedToBetweenTexts)
{
    KWinDesktop desktop(QStringLiteral("us,de"), KWinDesktop::FakeInput::Granted);
    start();
    for (const uint layout : {1u, 0u}) {
        // KWin takes a moment after its start to load the layouts.
        const auto switched = [&] {
            return call(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                        QStringLiteral("org.kde.KeyboardLayouts"), QStringLiteral("setLayout"), {layout})
                .arguments()
                .value(0)
                .toBool();
        };
        ASSERT_TRUE(processEventsUntil(switched, 10000)) << "KWin did not switch to layout " << layout;
        expectTyped(desktop, {differing});
    }
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
}

TEST_F(TypingOnDesktop, MutterTypesForGnomesActiveInputSource)
{
    MutterDesktop desktop(*this, {QStringLiteral("us"), QStringLiteral("de")}, 1);
    start();
    // mutter finds the keysyms of levels one and two on the layout in use by
    // itself: what the first layout lacks (ä, ß) shows which one bexlow
    // typed for; @ and { need AltGr on the German layout.
    expectTyped(desktop, {{differing.sent + "@{äß"}});
    EXPECT_EQ(bexlow.errorOutput().toStdString(), "");
}

TEST_F(TypingOnDesktop, WhereKWinRefusesThePortalWithKdesBackendTypes)
{
    KWinDesktop desktop(QStringLiteral("de"), KWinDesktop::FakeInput::NotGranted);
    KdePortal portal(*this);
    start();
    EXPECT_EQ(bexlow.errorOutput().toStdString(), throughThePortal + KdePortal::typingThroughEis(*this));
    // A long text arrives whole and in order: keys that go without waiting
    // for an answer each (through EIS) must not overtake one another.
    std::vector<Typed> texts = kwinTexts;
    texts.push_back({range(0x20, 0x7e).toLatin1().repeated(12)});
    expectTyped(desktop, texts);
}

TEST_F(TypingOnDesktop, APortalThatKeepsGrantsIsAskedWithTheTokenOfTheLastStart)
{
    KWinDesktop desktop(QStringLiteral("us"), KWinDesktop::FakeInput::NotGranted);
    const auto storedToken = [&] {
        static const QRegularExpression token(QStringLiteral("^PortalRestoreToken=(.*)$"),
                                              QRegularExpression::MultilineOption);
        return token.match(QString::fromUtf8(config.read(QStringLiteral("bexlow")))).captured(1);
    };
    {
        KdePortal portal(*this);
        if (KdePortal::remoteDesktopVersion(*this) >= 2) {
            // The real portal keeps each grant in the permission store under
            // its token: a start that did not give the token of the last
            // one would leave a second grant there.
            for (int start = 1; start <= 2; ++start) {
                BexlowProcess again;
                startTyping(again, line.path());
                EXPECT_EQ(again.errorOutput().toStdString(), throughThePortal + KdePortal::typingThroughEis(*this));
            }
            EXPECT_FALSE(storedToken().isEmpty());
            EXPECT_EQ(KdePortal::grantsKept(*this).join(' ').toStdString(), storedToken().toStdString());
            return;
        }
    }
    // Debian 12's portal keeps no grant: a stand-in of version 2 plays it.
    const QString log = runtime.filePath(QStringLiteral("portal.log"));
    Service portal;
    startService(portal, QStringLiteral(BEXLOW_SOURCE_DIR "/tests/keyboard/fakeportal.py"), {log},
                 "org.freedesktop.portal.Desktop");
    for (int start = 1; start <= 2; ++start) {
        BexlowProcess again;
        startTyping(again, line.path());
        EXPECT_EQ(again.errorOutput().toStdString(), throughThePortal);
    }
    EXPECT_EQ(readFile(log).toStdString(), "persist_mode=2 restore_token=\npersist_mode=2 restore_token=granted-1\n");
    EXPECT_EQ(storedToken(), QStringLiteral("granted-2"));
}
