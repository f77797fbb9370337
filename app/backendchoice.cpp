#include "app/backendchoice.h"

namespace BackendChoice {

namespace {

bool yes(const Session::Question &question)
{
    return question && question();
}

} // namespace

Preference preferenceFrom(const QString &stored, bool *ok)
{
    const QString value = stored.trimmed().toLower();
    if (ok)
        *ok = true;
    if (value == QLatin1String("wayland"))
        return Preference::Wayland;
    if (value == QLatin1String("gnome"))
        return Preference::Gnome;
    if (value == QLatin1String("kde"))
        return Preference::Kde;
    if (value == QLatin1String("portal"))
        return Preference::Portal;
    if (value == QLatin1String("x11"))
        return Preference::X11;
    if (ok && !value.isEmpty() && value != QLatin1String("auto"))
        *ok = false;
    return Preference::Auto;
}

Decision decide(const Session &session)
{
    switch (session.preference) {
    case Preference::Wayland:
        return {Backend::Wayland, QString()};
    case Preference::Gnome:
        return {Backend::Gnome, QString()};
    case Preference::Kde:
        return {Backend::Kde, QString()};
    case Preference::Portal:
        return {Backend::Portal, QString()};
    case Preference::X11:
        return {Backend::X11, session.wayland ? QStringLiteral("typing through X11 as the settings ask ([Typing] "
                                                               "Backend=x11): native Wayland windows will not "
                                                               "receive keys")
                                              : QString()};
    case Preference::Auto:
        break;
    }
    if (!session.wayland)
        return {Backend::X11, QString()};
    if (yes(session.virtualKeyboardOffered))
        return {Backend::Wayland, QString()};
    if (yes(session.kwinFakeInput))
        return {Backend::Kde, QString()};
    if (yes(session.mutterRemoteDesktop))
        return {Backend::Gnome, QString()};
    if (yes(session.remoteDesktopPortal) && yes(session.kwinRunning))
        return {
            Backend::Portal,
            QStringLiteral("KWin does not grant bexlow its fake input, which it gives only to bexlow installed with "
                           "its desktop entry (see \"Desktops\" in the README); typing through the desktop "
                           "portal instead")};
    if (yes(session.remoteDesktopPortal))
        return {Backend::Portal, QString()};
    return {Backend::X11,
            QStringLiteral("this Wayland desktop offers no virtual keyboard: typing goes through Xwayland, and "
                           "native Wayland windows will not receive keys (nor is GNOME's remote desktop service "
                           "there, or KWin's fake input, which KWin gives only to bexlow installed with its "
                           "desktop entry, or the desktop portal's remote desktop; see \"Desktops\" in the "
                           "README)")};
}

std::optional<Backend> fallback(const Session &session, Backend refused)
{
    const bool automatic = session.wayland && session.preference == Preference::Auto;
    if (automatic && (refused == Backend::Gnome || refused == Backend::Kde) && yes(session.remoteDesktopPortal))
        return Backend::Portal;
    return std::nullopt;
}

} // namespace BackendChoice
