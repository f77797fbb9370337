#include "app/keyboardbackend.h"

#include "app/backendchoice.h"
#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/gnome/mutterkeyinjector.h"
#include "keyboard/gnome/remotedesktopsession.h"
#include "keyboard/kde/kwinfakeinputinjector.h"
#include "keyboard/portal/portalkeyinjector.h"
#include "keyboard/portal/remotedesktopportal.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/wlroots/virtualkeyboardinjector.h"
#include "keyboard/wlroots/wlrootskeyinjector.h"
#include "keyboard/x11/xtestkeyinjector.h"
#include "keyboard/x11/xwaylandfocus.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

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

// Whether the compositor offers the virtual keyboard; why not in whyNot.
// Also whether it lets bexlow use KWin's fake input.
bool waylandOffersKeyboard(QString *whyNot, bool *fakeInput)
{
    try {
        const WaylandConnection connection;
        *fakeInput = connection.offers(KWinFakeInputInjector::Protocol);
        if (connection.offers(VirtualKeyboardInjector::Protocol))
            return true;
        *whyNot = QStringLiteral("the Wayland compositor at %1 offers no virtual keyboard (%2)")
                      .arg(WaylandConnection::displayName(), QLatin1String(VirtualKeyboardInjector::Protocol));
    } catch (const OperationError &error) {
        *whyNot = error.description();
    }
    return false;
}

// Types through the desktop portal, keeping each grant it gives in the
// store for the next start.
std::unique_ptr<KeyInjector> portalInjector(SettingsStore &store)
{
    return std::make_unique<PortalKeyInjector>(
        storedTyping(store, SettingsLayout::PortalTokenKey), [&store](const QString &token) {
            try {
                store.save(SettingsLayout::ApplicationTitle, SettingsLayout::TypingSection,
                           SettingsLayout::PortalTokenKey, token);
            } catch (const OperationError &error) {
                Report::failure(error);
            }
        });
}

std::unique_ptr<KeyInjector> injectorFor(BackendChoice::Backend backend, SettingsStore &store)
{
    switch (backend) {
    case BackendChoice::Backend::Wayland:
        return std::make_unique<WlrootsKeyInjector>();
    case BackendChoice::Backend::Gnome:
        return std::make_unique<MutterKeyInjector>();
    case BackendChoice::Backend::Kde: {
        auto x11 = std::make_shared<XTestKeyInjector>();
        auto focus = std::make_shared<XwaylandFocus>(
            *x11, QStringLiteral("X11 programs under Xwayland may lose the characters your layout lacks"));
        return std::make_unique<KWinFakeInputInjector>([x11, focus] { return focus->x11ProgramHasFocus(); });
    }
    case BackendChoice::Backend::Portal:
        return portalInjector(store);
    case BackendChoice::Backend::X11:
        break;
    }
    return std::make_unique<XTestKeyInjector>();
}

} // namespace

Made make(SettingsStore &store)
{
    BackendChoice::Session session;
    session.preference = storedPreference(store);
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool automatic = session.wayland && session.preference == BackendChoice::Preference::Auto;
    QString waylandWhyNot;
    QString desktopWhyNot;
    if (automatic) {
        session.virtualKeyboardOffered = waylandOffersKeyboard(&waylandWhyNot, &session.kwinFakeInput);
        session.mutterRemoteDesktop = !session.virtualKeyboardOffered && !session.kwinFakeInput
                                      && RemoteDesktopSession::offered(QDBusConnection::sessionBus());
        session.remoteDesktopPortal = !session.virtualKeyboardOffered && !session.kwinFakeInput
                                      && !session.mutterRemoteDesktop
                                      && RemoteDesktopPortal::offersKeyboard(QDBusConnection::sessionBus());
        session.kwinRunning = session.remoteDesktopPortal && QDBusConnection::sessionBus().interface()
                              && QDBusConnection::sessionBus().interface()->isServiceRegistered(KWinService).value();
        if (!session.virtualKeyboardOffered && !session.kwinFakeInput && !session.mutterRemoteDesktop
            && !session.remoteDesktopPortal)
            desktopWhyNot =
                QStringLiteral("no KWin fake input (%1) for bexlow, neither GNOME's remote desktop "
                               "service (%2) nor the desktop portal's (%3) on the session bus")
                    .arg(QLatin1String(KWinFakeInputInjector::Protocol), QLatin1String(RemoteDesktopSession::Service),
                         QLatin1String(RemoteDesktopPortal::Service));
    }

    const BackendChoice::Decision decision = BackendChoice::decide(session);
    if (!decision.notice.isEmpty())
        Report::line(decision.notice);
    Made made;
    made.injector = injectorFor(decision.backend, store);
    try {
        made.injector->checkAvailable();
    } catch (const OperationError &error) {
        made.unavailable = error.description();
        if (!waylandWhyNot.isEmpty() && !desktopWhyNot.isEmpty())
            made.unavailable = QStringLiteral("typing unavailable: tried the Wayland virtual keyboard (%1) and "
                                              "XTEST through Xwayland (%2); %3")
                                   .arg(waylandWhyNot, error.description(), desktopWhyNot);
    }
    // The desktop's own way in refused bexlow: the portal is the way left.
    const bool desktopsOwn =
        decision.backend == BackendChoice::Backend::Gnome || decision.backend == BackendChoice::Backend::Kde;
    if (!made.unavailable.isEmpty() && automatic && desktopsOwn
        && RemoteDesktopPortal::offersKeyboard(QDBusConnection::sessionBus())) {
        Report::line(made.unavailable + QStringLiteral("; typing through the desktop portal instead"));
        made.unavailable.clear();
        made.injector = portalInjector(store);
        try {
            made.injector->checkAvailable();
        } catch (const OperationError &error) {
            made.unavailable = error.description();
        }
    }
    return made;
}

} // namespace KeyboardBackend
