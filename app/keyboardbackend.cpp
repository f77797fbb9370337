#include "app/keyboardbackend.h"

#include "app/backendchoice.h"
#include "app/wlrootskeyinjector.h"
#include "app/xwaylandfocus.h"
#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/gnome/mutterkeyinjector.h"
#include "keyboard/gnome/remotedesktopsession.h"
#include "keyboard/kde/kwinfakeinputinjector.h"
#include "keyboard/portal/portalkeyinjector.h"
#include "keyboard/portal/remotedesktopportal.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/wlroots/virtualkeyboardinjector.h"
#include "keyboard/x11/xtestkeyinjector.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <functional>
#include <memory>
#include <optional>

namespace KeyboardBackend {

namespace {

// The name KWin has on the session bus.
const QString KWinService = QStringLiteral("org.kde.KWin");

QString storedTyping(const SettingsStore &store, const QString &key)
{
    try {
        return store.value(SettingsLayout::ApplicationTitle, SettingsLayout::TypingSection, key);
    } catch (const OperationError &error) {
        Report::failure(error);
    }
    return {};
}

BackendChoice::Preference storedPreference(const SettingsStore &store)
{
    const QString stored = storedTyping(store, SettingsLayout::BackendKey);
    bool ok = true;
    const BackendChoice::Preference preference = BackendChoice::preferenceFrom(stored, &ok);
    if (!ok)
        Report::line(
            QStringLiteral("[%1] %2=%3 is not auto, wayland, gnome, kde, portal or x11; choosing automatically")
                .arg(SettingsLayout::TypingSection, SettingsLayout::BackendKey, OperationError::quoted(stored)));
    return preference;
}

// What the Wayland compositor offers bexlow, asked once.
struct WaylandOffer
{
    bool virtualKeyboard = false;
    bool fakeInput = false;
    QString whyNoVirtualKeyboard;

    static WaylandOffer ask()
    {
        WaylandOffer offer;
        try {
            const WaylandConnection connection;
            offer.fakeInput = connection.offers(KWinFakeInputInjector::Protocol);
            offer.virtualKeyboard = connection.offers(VirtualKeyboardInjector::Protocol);
            if (!offer.virtualKeyboard)
                offer.whyNoVirtualKeyboard =
                    QStringLiteral("the Wayland compositor at %1 offers no virtual keyboard (%2)")
                        .arg(WaylandConnection::displayName(), QLatin1String(VirtualKeyboardInjector::Protocol));
        } catch (const OperationError &error) {
            offer.whyNoVirtualKeyboard = error.description();
        }
        return offer;
    }
};

// Whether an X11 program under Xwayland has the keyboard, asked on an X
// connection of its own; consequence: what it means where that cannot be
// asked.
std::function<bool()> xwaylandFocus(const QString &consequence)
{
    auto x11 = std::make_shared<XTestKeyInjector>();
    auto focus = std::make_shared<XwaylandFocus>(*x11, consequence);
    return [x11, focus] { return focus->x11ProgramHasFocus(); };
}

const QString DoubledCharactersDropped =
    QStringLiteral("X11 programs under Xwayland may take a doubled character for a held key and drop it");

// Types through the desktop portal, keeping each grant it gives in the
// store for the next start.
std::unique_ptr<KeyInjector> portalInjector(SettingsStore &store)
{
    return std::make_unique<PortalKeyInjector>(
        storedTyping(store, SettingsLayout::PortalTokenKey),
        [&store](const QString &token) {
            try {
                store.save(SettingsLayout::ApplicationTitle, SettingsLayout::TypingSection,
                           SettingsLayout::PortalTokenKey, token);
            } catch (const OperationError &error) {
                Report::failure(error);
            }
        },
        xwaylandFocus(DoubledCharactersDropped));
}

// Makes the backend's injector and checks that it can type.
Made madeAndChecked(BackendChoice::Backend backend, SettingsStore &store)
{
    Made made;
    made.injector = makeFor(backend, store);
    try {
        made.injector->checkAvailable();
    } catch (const OperationError &error) {
        made.unavailable = error.description();
    }
    return made;
}

} // namespace

Made make(SettingsStore &store)
{
    BackendChoice::Session session;
    session.preference = storedPreference(store);
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    std::optional<WaylandOffer> wayland;
    const auto offer = [&wayland] {
        if (!wayland)
            wayland = WaylandOffer::ask();
        return *wayland;
    };
    session.virtualKeyboardOffered = [&] { return offer().virtualKeyboard; };
    session.kwinFakeInput = [&] { return offer().fakeInput; };
    session.mutterRemoteDesktop = [] { return RemoteDesktopSession::offered(QDBusConnection::sessionBus()); };
    session.remoteDesktopPortal = [] { return RemoteDesktopPortal::offersKeyboard(QDBusConnection::sessionBus()); };
    session.kwinRunning = [] {
        const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        return bus && bus->isServiceRegistered(KWinService).value();
    };

    const BackendChoice::Decision decision = BackendChoice::decide(session);
    if (!decision.notice.isEmpty())
        Report::line(decision.notice);
    Made made = madeAndChecked(decision.backend, store);
    if (made.unavailable.isEmpty())
        return made;
    const bool automatic = session.wayland && session.preference == BackendChoice::Preference::Auto;
    if (automatic && decision.backend == BackendChoice::Backend::X11)
        made.unavailable =
            QStringLiteral("typing unavailable: tried the Wayland virtual keyboard (%1) and XTEST "
                           "through Xwayland (%2); no KWin fake input (%3) for bexlow, neither "
                           "GNOME's remote desktop service (%4) nor the desktop portal's (%5) on "
                           "the session bus")
                .arg(offer().whyNoVirtualKeyboard, made.unavailable, QLatin1String(KWinFakeInputInjector::Protocol),
                     QLatin1String(RemoteDesktopSession::Service), QLatin1String(RemoteDesktopPortal::Service));
    if (const auto left = BackendChoice::fallback(session, decision.backend)) {
        Report::line(made.unavailable + QStringLiteral("; typing through the desktop portal instead"));
        made = madeAndChecked(*left, store);
    }
    return made;
}

std::unique_ptr<KeyInjector> makeFor(BackendChoice::Backend backend, SettingsStore &store)
{
    switch (backend) {
    case BackendChoice::Backend::Wayland:
        return std::make_unique<WlrootsKeyInjector>();
    case BackendChoice::Backend::Gnome:
        return std::make_unique<MutterKeyInjector>(xwaylandFocus(DoubledCharactersDropped));
    case BackendChoice::Backend::Kde:
        return std::make_unique<KWinFakeInputInjector>(xwaylandFocus(
            QStringLiteral("X11 programs under Xwayland may lose the characters your layout lacks and take a "
                           "doubled character for a held key")));
    case BackendChoice::Backend::Portal:
        return portalInjector(store);
    case BackendChoice::Backend::X11:
        break;
    }
    return std::make_unique<XTestKeyInjector>();
}

} // namespace KeyboardBackend
