#include "app/keyboardbackend.h"

#include "app/backendchoice.h"
#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/gnome/mutterkeyinjector.h"
#include "keyboard/gnome/remotedesktopsession.h"
#include "keyboard/kde/kwinfakeinputinjector.h"
#include "keyboard/wayland/virtualkeyboardinjector.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/x11/xtestkeyinjector.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"

#include <QDBusConnection>

namespace KeyboardBackend {

namespace {

BackendChoice::Preference storedPreference(const SettingsStore &store)
{
    QString stored;
    try {
        stored =
            store.value(SettingsLayout::ApplicationTitle, SettingsLayout::TypingSection, SettingsLayout::BackendKey);
    } catch (const OperationError &error) {
        Report::failure(error);
    }
    bool ok = true;
    const BackendChoice::Preference preference = BackendChoice::preferenceFrom(stored, &ok);
    if (!ok)
        Report::line(
            QStringLiteral("[%1] %2=%3 is not auto, wayland, gnome, kde or x11; choosing automatically")
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

} // namespace

Made make(const SettingsStore &store)
{
    BackendChoice::Session session;
    session.preference = storedPreference(store);
    session.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    QString waylandWhyNot;
    QString gnomeWhyNot;
    if (session.wayland && session.preference == BackendChoice::Preference::Auto) {
        session.virtualKeyboardOffered = waylandOffersKeyboard(&waylandWhyNot, &session.kwinFakeInput);
        session.mutterRemoteDesktop = !session.virtualKeyboardOffered && !session.kwinFakeInput
                                      && RemoteDesktopSession::offered(QDBusConnection::sessionBus());
        if (!session.virtualKeyboardOffered && !session.kwinFakeInput && !session.mutterRemoteDesktop)
            gnomeWhyNot =
                QStringLiteral("no KWin fake input (%1) for bexlow, GNOME's remote desktop service "
                               "(%2) not on the session bus")
                    .arg(QLatin1String(KWinFakeInputInjector::Protocol), QLatin1String(RemoteDesktopSession::Service));
    }

    const BackendChoice::Decision decision = BackendChoice::decide(session);
    if (!decision.notice.isEmpty())
        Report::line(decision.notice);
    Made made;
    if (decision.backend == BackendChoice::Backend::Wayland)
        made.injector = std::make_unique<VirtualKeyboardInjector>();
    else if (decision.backend == BackendChoice::Backend::Gnome)
        made.injector = std::make_unique<MutterKeyInjector>();
    else if (decision.backend == BackendChoice::Backend::Kde)
        made.injector = std::make_unique<KWinFakeInputInjector>();
    else
        made.injector = std::make_unique<XTestKeyInjector>();
    try {
        made.injector->checkAvailable();
    } catch (const OperationError &error) {
        made.unavailable = error.description();
        if (!waylandWhyNot.isEmpty() && !gnomeWhyNot.isEmpty())
            made.unavailable = QStringLiteral("typing unavailable: tried the Wayland virtual keyboard (%1) and "
                                              "XTEST through Xwayland (%2); %3")
                                   .arg(waylandWhyNot, error.description(), gnomeWhyNot);
    }
    return made;
}

} // namespace KeyboardBackend
