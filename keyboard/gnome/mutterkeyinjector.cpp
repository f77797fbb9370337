#include "keyboard/gnome/mutterkeyinjector.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/gnome/remotedesktopsession.h"
#include "keyboard/wayland/seatkeymap.h"
#include "keyboard/wayland/waylandconnection.h"

#include <chrono>
#include <thread>

namespace {

// How long a new session may take until the seat's keymap arrives.
constexpr std::chrono::milliseconds KeymapTimeout{3000};
// How long clients take to ask for the keyboard a seat gains at the first
// key of a session; keys before that are lost to them.
constexpr std::chrono::milliseconds ClientSetupTime{250};

QString named(const std::u32string &missing)
{
    QStringList names;
    for (const char32_t c : missing)
        names << QStringLiteral("%1 (U+%2)")
                     .arg(QString::fromUcs4(&c, 1),
                          QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    return names.join(QStringLiteral(", "));
}

} // namespace

MutterKeyInjector::MutterKeyInjector() = default;

MutterKeyInjector::~MutterKeyInjector()
{
    disconnect();
}

void MutterKeyInjector::checkAvailable()
{
    if (!m_session)
        connect();
}

void MutterKeyInjector::type(const QString &keys)
{
    const std::u32string strokes = m_text.strokesFor(keys);
    if (strokes.empty())
        return;
    checkAvailable();
    try {
        try {
            followLayout();
        } catch (const OperationError &) {
            // The compositor went away since the last text (a restart, a
            // new login); nothing of this text is sent yet.
            disconnect();
            connect();
            followLayout();
        }
        std::u32string missing;
        for (const char32_t c : strokes) {
            if (const LayoutStrokes::Stroke *stroke = m_strokes.find(c))
                typeStroke(*stroke);
            else if (missing.find(c) == std::u32string::npos)
                missing += c;
        }
        m_session->sync();
        if (!missing.empty())
            Report::line(QStringLiteral("not typed, the keyboard layout has no key for: %1").arg(named(missing)));
    } catch (const OperationError &) {
        // A new session is made at the next text.
        disconnect();
        throw;
    }
}

void MutterKeyInjector::connect()
{
    auto wayland = std::make_unique<WaylandConnection>();
    auto seatKeymap = std::make_unique<SeatKeymap>(*wayland);
    auto session = std::make_unique<RemoteDesktopSession>();
    // A seat without a keyboard gains one at the first key of the session,
    // and the keymap comes with it: tap Shift (evdev 42, the left Shift key
    // on every layout). The seat may also lose a keyboard meanwhile, when
    // another program's session ends.
    const auto deadline = std::chrono::steady_clock::now() + KeymapTimeout;
    bool tapped = false;
    while (seatKeymap->refreshAfterRoundtrip().empty()) {
        if (!seatKeymap->seatHasKeyboard() && !tapped) {
            constexpr uint32_t LeftShift = 42;
            session->key(LeftShift, true);
            session->key(LeftShift, false);
            session->sync();
            tapped = true;
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw OperationError(OperationError::TypingUnavailable,
                                 QStringLiteral("The Wayland compositor at %1 gave no keyboard layout to read")
                                     .arg(WaylandConnection::displayName()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (tapped)
        std::this_thread::sleep_for(ClientSetupTime);
    m_wayland = std::move(wayland);
    m_seatKeymap = std::move(seatKeymap);
    m_session = std::move(session);
    m_keymap.clear();
}

void MutterKeyInjector::disconnect()
{
    m_session.reset();
    m_seatKeymap.reset();
    m_wayland.reset();
}

void MutterKeyInjector::followLayout()
{
    const std::string &keymap = m_seatKeymap->refresh();
    if (keymap == m_keymap)
        return;
    m_strokes = LayoutStrokes(keymap);
    m_keymap = keymap;
}

void MutterKeyInjector::typeStroke(const LayoutStrokes::Stroke &stroke)
{
    if (stroke.firstPlaceOfKeysym) {
        m_session->keysym(stroke.keysym, true);
        m_session->keysym(stroke.keysym, false);
        return;
    }
    // XKB keycodes are evdev codes plus 8.
    const auto press = [this](uint32_t keycode, bool pressed) { m_session->key(keycode - 8, pressed); };
    if (stroke.levelThree)
        press(m_strokes.levelThreeKey(), true);
    if (stroke.shift)
        press(m_strokes.shiftKey(), true);
    press(stroke.keycode, true);
    press(stroke.keycode, false);
    if (stroke.shift)
        press(m_strokes.shiftKey(), false);
    if (stroke.levelThree)
        press(m_strokes.levelThreeKey(), false);
}
