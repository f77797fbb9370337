#include "keyboard/wayland/layoutkeyinjector.h"

#include "core/operationerror.h"
#include "keyboard/wayland/seatkeymap.h"
#include "keyboard/wayland/waylandconnection.h"
#include "keyboard/x11/xconnection.h"

#include <chrono>
#include <thread>
#include <utility>

namespace {

// How long a start may take until the seat's keymap arrives.
constexpr std::chrono::milliseconds KeymapTimeout{3000};
// The left Shift key on every layout.
constexpr uint32_t LeftShift = 42;
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

LayoutKeyInjector::LayoutKeyInjector(std::chrono::milliseconds repressGap)
    : m_repressGap(repressGap)
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
            waitBeforeRepress();
        if (!typeStroke(stroke) && !typeCharacter(c)) {
            if (missing.find(c) == std::u32string::npos)
                missing += c;
            continue;
        }
        m_lastCharacter = c;
        m_lastKey = keycode;
    }
    pace();
    sync();
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

void LayoutKeyInjector::waitBeforeRepress()
{
    flush();
    sync();
    syncXwayland();
    std::this_thread::sleep_for(m_repressGap);
}

void LayoutKeyInjector::syncXwayland()
{
    // Xwayland stamps each key with its own clock's millisecond as it reads
    // it, and some X11 programs take a release and a press of one key at the
    // same millisecond for auto-repeat and drop the press. A busy Xwayland
    // (redrawing a window after each key) reads a release late; it has read
    // what the compositor passed on before it answers a request sent after.
    m_xwaylandQuestions.ask([this] {
        if (!m_xwayland || m_xwayland->lost())
            m_xwayland = std::make_unique<XConnection>();
        m_xwayland->sync();
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
