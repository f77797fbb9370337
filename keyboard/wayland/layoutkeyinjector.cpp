#include "keyboard/wayland/layoutkeyinjector.h"

#include "core/operationerror.h"
#include "keyboard/wayland/kwinversion.h"
#include "keyboard/wayland/seatkeymap.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/xserver/xwaylandkeywatch.h"

#include <chrono>
#include <thread>
#include <utility>

namespace {

// How long a start may take until the seat's keymap arrives.
constexpr std::chrono::milliseconds KeymapTimeout{3000};
// The left Shift key on every layout.
constexpr uint32_t LeftShift = 42;
// How long a key pressed again waits at most for Xwayland, and a text at
// its start for what Xwayland has not handled of the text before.
constexpr std::chrono::milliseconds XwaylandTimeout{500};
// Keystrokes sent between two looks at the pace.
constexpr double KeystrokesPerPace = 32;

// What a character costs the receiver, in keystrokes of one key: each of
// Shift and AltGr held adds its own press and release and two changes of
// the modifiers. A character typed by itself (or not at all) may need Shift.
double keystrokes(const LayoutStrokes::Stroke *stroke)
{
    return stroke ? 1 + 2 * (int(stroke->shift) + int(stroke->levelThree)) : 3;
}

} // namespace

LayoutKeyInjector::LayoutKeyInjector(std::chrono::milliseconds repressGap, std::function<bool()> x11ProgramHasFocus)
    : m_repressGap(repressGap)
    , m_x11ProgramHasFocus(std::move(x11ProgramHasFocus))
{}

LayoutKeyInjector::~LayoutKeyInjector()
{
    // The subclass has closed its keys in its own destructor.
    m_seatKeymap.reset();
    m_wayland.reset();
}

void LayoutKeyInjector::checkAvailable()
{
    if (!m_wayland)
        connect();
}

std::u32string LayoutKeyInjector::typeStrokes(const std::u32string &strokes)
{
    try {
        followLayout();
    } catch (const OperationError &) {
        // The compositor went away since the last text (a restart, a new
        // login); nothing of this text is sent yet.
        disconnect();
        connect();
        followLayout();
    }
    m_x11ProgramFocused = m_x11ProgramHasFocus && m_x11ProgramHasFocus();
    watchXwayland();
    std::u32string missing;
    double unpaced = 0;
    const auto pace = [this, &unpaced] { m_pacer.pace(std::exchange(unpaced, 0), [this] { flush(); }); };
    for (const char32_t c : strokes) {
        const LayoutStrokes::Stroke *stroke = m_strokes.find(c);
        unpaced += keystrokes(stroke);
        if (unpaced >= KeystrokesPerPace)
            pace();
        // The same key again waits (a character not typed never matches).
        const uint32_t keycode = stroke ? stroke->keycode : 0;
        if (c == m_lastCharacter || (keycode != 0 && keycode == m_lastKey))
            waitBeforeRepress(keycode);
        if (!typeStroke(stroke) && !typeCharacter(c)) {
            if (missing.find(c) == std::u32string::npos)
                missing += c;
            continue;
        }
        if (m_watching && keycode != 0)
            m_xwayland->sent(uint8_t(keycode));
        m_lastCharacter = c;
        m_lastKey = keycode;
    }
    pace();
    sync();
    if (m_x11ProgramFocused && m_xwayland && !m_xwayland->lost())
        m_xwayland->end(m_watching ? XwaylandTimeout : std::chrono::milliseconds(0));
    return missing;
}

void LayoutKeyInjector::connect()
{
    auto wayland = std::make_unique<WaylandConnection>();
    auto seatKeymap = std::make_unique<SeatKeymap>(*wayland);
    openKeys(*wayland);
    try {
        // The seat may also lose a keyboard meanwhile, when another
        // program's virtual keyboard goes.
        const auto deadline = std::chrono::steady_clock::now() + KeymapTimeout;
        bool tapped = false;
        while (seatKeymap->refreshAfterRoundtrip().empty()) {
            if (!seatKeymap->seatHasKeyboard() && !tapped) {
                key(LeftShift, true);
                key(LeftShift, false);
                sync();
                tapped = true;
            }
            if (std::chrono::steady_clock::now() > deadline)
                throw OperationError(OperationError::TypingUnavailable,
                                     QStringLiteral("The Wayland compositor at %1 gave no keyboard layout to read")
                                         .arg(WaylandConnection::displayName()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (tapped)
            std::this_thread::sleep_for(WaylandConnection::KeyboardSetupTime);
    } catch (const OperationError &) {
        closeKeys();
        throw;
    }
    m_pacer = KeystrokePacer(
        KeystrokePacer::paceFor(KeystrokePacer::Compositor::KWin, kwinVersion(*wayland), KeystrokePacer::LayoutPace));
    m_wayland = std::move(wayland);
    m_seatKeymap = std::move(seatKeymap);
    m_keymap.clear();
}

void LayoutKeyInjector::disconnect()
{
    if (!m_wayland)
        return;
    closeKeys();
    m_seatKeymap.reset();
    m_wayland.reset();
}

void LayoutKeyInjector::followLayout()
{
    const std::string &keymap = m_seatKeymap->refresh();
    const uint32_t layout = m_activeLayout.indexIn(keymap);
    if (keymap == m_keymap && layout == m_layout)
        return;
    m_strokes = LayoutStrokes(keymap, layout);
    m_keymap = keymap;
    m_layout = layout;
}

void LayoutKeyInjector::waitBeforeRepress(uint32_t keycode)
{
    flush();
    sync();
    if (m_watching && keycode != 0) {
        // Where Xwayland does not tell in time (another window took the
        // keyboard), the rest of the text goes without the watch.
        m_watching = m_xwayland->awaitRepressable(uint8_t(keycode), XwaylandTimeout);
        if (m_watching)
            return;
    }
    std::this_thread::sleep_for(m_repressGap);
}

void LayoutKeyInjector::watchXwayland()
{
    m_watching = m_x11ProgramFocused && m_xwaylandQuestions.ask([this] {
        if (!m_xwayland || m_xwayland->lost())
            m_xwayland = std::make_unique<XwaylandKeyWatch>();
        m_xwayland->begin();
        return true;
    });
}

bool LayoutKeyInjector::typeStroke(const LayoutStrokes::Stroke *stroke)
{
    if (!stroke)
        return false;
    if (typeKeysym(*stroke))
        return true;
    // XKB keycodes are evdev codes plus 8.
    const auto press = [this](uint32_t keycode, bool pressed) { key(keycode - 8, pressed); };
    if (stroke->levelThree)
        press(m_strokes.levelThreeKey(), true);
    if (stroke->shift)
        press(m_strokes.shiftKey(), true);
    press(stroke->keycode, true);
    press(stroke->keycode, false);
    if (stroke->shift)
        press(m_strokes.shiftKey(), false);
    if (stroke->levelThree)
        press(m_strokes.levelThreeKey(), false);
    return true;
}
