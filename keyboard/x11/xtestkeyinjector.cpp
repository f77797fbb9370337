#include "keyboard/x11/xtestkeyinjector.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/characterkeysym.h"
#include "keyboard/x11/batchplanner.h"
#include "keyboard/x11/fatalsignalcleanup.h"
#include "keyboard/x11/typingsession.h"
#include "keyboard/x11/xkbkeymap.h"
#include "keyboard/xserver/xconnection.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <optional>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace {

// Root window property that names the process and the spare keycodes it
// may bind, so that a later start can empty what a killed one left bound.
const char ClaimPropertyName[] = "_BEXLOW_SPARE_KEYS";

bool processIsAlive(long pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// Stands, in the slots Wine may type from, for a character Wine would not
// type exactly: the slot's AltGr level holds another. Beyond Unicode, so
// that no text holds it.
constexpr char32_t NotForWine = 0x110000;

} // namespace

XTestKeyInjector::XTestKeyInjector() = default;

XTestKeyInjector::~XTestKeyInjector()
{
    if (!m_connection)
        return;
    // Emptying the spare keys under a receiver that still reads would change
    // what it types; a bounded wait, since the program is ending.
    std::this_thread::sleep_until(
        std::min(m_pool.receiverIdleAt(), SpareKeyPool::Clock::now() + std::chrono::seconds(3)));
    try {
        restoreKeymap();
    } catch (const OperationError &error) {
        Report::failure(error);
    }
    disconnect();
}

void XTestKeyInjector::checkAvailable()
{
    giveUpConnection();
    if (!m_connection)
        connect();
}

void XTestKeyInjector::giveUpConnection()
{
    if (m_connection && m_connection->lost())
        disconnect();
}

std::u32string XTestKeyInjector::typeStrokes(const std::u32string &strokes)
{
    const bool intoWine = focusIsWine();
    takeOverMasterKeyboard();
    handleServerEvents();
    std::u32string notOnLayout = typeBatches(strokes, intoWine);
    throwIfFailed();
    return notOnLayout;
}

QString XTestKeyInjector::keycodesName()
{
    checkAvailable();
    Display *display = m_connection->display();
    XkbDescPtr xkb = XkbAllocKeyboard();
    QString name;
    if (xkb && XkbGetNames(display, XkbKeycodesNameMask, xkb) == Success && xkb->names && xkb->names->keycodes) {
        char *text = XGetAtomName(display, xkb->names->keycodes);
        name = QString::fromLatin1(text);
        XFree(text);
    }
    if (xkb)
        XkbFreeKeyboard(xkb, 0, True);
    m_connection->throwIfLost();
    return name;
}

bool XTestKeyInjector::displayHasFocus()
{
    checkAvailable();
    Display *display = m_connection->display();
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(display, &focus, &revertTo);
    m_connection->throwIfLost();
    if (focus == None || focus == PointerRoot || focus == DefaultRootWindow(display))
        return false;
    // KWin gives X's focus to an input-only window of its own while a
    // native window has the keyboard.
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, focus, &attributes) != 0 && attributes.c_class == InputOutput;
}

// Whether the window with the keyboard focus, or the nearest of its
// ancestors that has a WM_CLASS, belongs to a program under Wine, which
// names its windows' class after the program's executable.
bool XTestKeyInjector::focusIsWine()
{
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    Window window = None;
    int revertTo = 0;
    XGetInputFocus(display, &window, &revertTo);
    bool wine = false;
    while (window != None && window != PointerRoot && window != DefaultRootWindow(display)) {
        XClassHint hint{};
        if (XGetClassHint(display, window, &hint)) {
            wine = hint.res_class && QByteArray(hint.res_class).toLower().endsWith(".exe");
            XFree(hint.res_name);
            XFree(hint.res_class);
            break;
        }
        Window root = None, parent = None, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        window = parent;
    }
    // The focus may move on meanwhile, and a window go: that refusal is no
    // failure of typing (nothing was pending before, see checkAvailable).
    m_connection->sync();
    m_connection->takeError();
    m_connection->throwIfLost();
    return wine;
}

// The slots Wine types exactly, with what they hold: the plain and Shift
// levels of the spare keycodes up to WineLastSpareKeycode, pinned where
// they are pinned in the pool. One whose AltGr level holds another character
// shows NotForWine, a character no text needs.
SpareKeyPool XTestKeyInjector::slotsWineTypes() const
{
    std::vector<int> keycodes = m_pool.keycodes();
    keycodes.erase(
        std::remove_if(keycodes.begin(), keycodes.end(), [](int keycode) { return keycode > WineLastSpareKeycode; }),
        keycodes.end());
    const int levels = std::min(m_pool.levels(), 2);
    SpareKeyPool usable;
    usable.reset(keycodes, levels);
    for (int keycode : keycodes) {
        const std::vector<char32_t> held = m_pool.charactersOn(keycode);
        for (int level = 0; level < levels; ++level) {
            const char32_t c = held[size_t(level)];
            const bool altGrSame = held.size() < 4 || held[size_t(level) + 2] == c;
            usable.bind(SpareSlot{keycode, level}, altGrSame ? c : NotForWine);
            if (m_pool.pinned(SpareSlot{keycode, level}))
                usable.pin(SpareSlot{keycode, level});
        }
    }
    return usable;
}

void XTestKeyInjector::restoreKeymap()
{
    if (!m_connection || m_connection->lost() || !m_pool.hasBindings())
        return;
    std::vector<int> keycodes;
    for (const auto &[slot, character] : m_pool.bindings())
        keycodes.push_back(slot.keycode);
    m_pool.unbindAll();
    FatalSignalCleanup::Section section;
    sendBindings(keycodes);
    XFlush(m_connection->display());
    throwIfFailed();
}

void XTestKeyInjector::connect()
{
    m_connection = std::make_unique<XConnection>();
    try {
        prepareConnection();
    } catch (const OperationError &) {
        // Half prepared is not connected: the next call starts over.
        m_keymap.reset();
        m_connection.reset();
        throw;
    }
}

void XTestKeyInjector::prepareConnection()
{
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    m_keymap = std::make_unique<XkbKeymap>(display);
    m_claimAtom = XInternAtom(display, ClaimPropertyName, False);
    emptyStaleSpareKeys();
    m_pool.reset(m_keymap->emptyKeycodes(), m_keymap->spareLevels(), XkbKeymap::spareGroups());
    m_ownMapChangesPending = 0;
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    XkbQueryExtension(display, &opcode, &m_xkbEventBase, &error, &major, &minor);
    const unsigned events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    XkbSelectEvents(display, XkbUseCoreKbd, events, events);
    claimSpareKeys();
    XSync(display, False);
    FatalSignalCleanup::watch(display);
    throwIfFailed();
}

// The X server's master keyboard, whose keymap receivers read, takes on the
// keymap of the device that sent the latest key event: after a key of a
// real keyboard, XTEST's first event makes it take XTEST's keyboard's
// keymap, and the server loses what that event does (seen on Xwayland: the
// Shift of a first capital, "ABC" arrived as "abc"). Under Xwayland the two
// keymaps differ (sway 1.7 gives Xwayland's keyboard a virtual keyboard's).
// So each text starts with an event that changes nothing, the release of a
// key nobody holds (Shift, or an empty key), and then reads the keymap the
// master has.
void XTestKeyInjector::takeOverMasterKeyboard()
{
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    const auto held = [&](int keycode) { return keys[keycode / 8] & (1 << (keycode % 8)); };
    int idle = m_keymap->modifiers().shiftKeycode;
    if (idle <= 0 || held(idle)) {
        const std::vector<int> empty = m_keymap->emptyKeycodes();
        const auto free = std::find_if(empty.begin(), empty.end(), [&](int keycode) { return !held(keycode); });
        idle = free == empty.end() ? 0 : *free;
    }
    if (idle > 0)
        XTestFakeKeyEvent(display, unsigned(idle), False, CurrentTime);
    XSync(display, False);
}

void XTestKeyInjector::disconnect()
{
    FatalSignalCleanup::watch(nullptr);
    if (m_connection && !m_connection->lost()) {
        FatalSignalCleanup::Section section;
        releaseSpareKeysClaim();
        XSync(m_connection->display(), False);
    }
    m_keymap.reset();
    m_connection.reset();
    m_pool.reset({}, 1);
}

// The claim on the spare keys that the root window holds: the claiming
// process's id, then the keycodes it may bind. Empty when there is none.
std::vector<long> XTestKeyInjector::readClaim() const
{
    Display *display = m_connection->display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), m_claimAtom, 0, 256, False, XA_CARDINAL, &type, &format,
                           &count, &remaining, &data)
            != Success
        || !data)
        return {};
    std::vector<long> claim;
    if (format == 32) {
        const auto *values = reinterpret_cast<const long *>(data);
        claim.assign(values, values + count);
    }
    XFree(data);
    return claim;
}

// Spare keys that a process which is gone left bound (killed with SIGKILL,
// or crashed inside Xlib) are emptied again.
void XTestKeyInjector::emptyStaleSpareKeys()
{
    const std::vector<long> claim = readClaim();
    if (claim.empty() || processIsAlive(claim.front()))
        return;
    std::vector<std::pair<int, std::vector<unsigned long>>> stale;
    for (size_t i = 1; i < claim.size(); ++i) {
        const int keycode = int(claim[i]);
        const std::vector<unsigned long> keysyms = m_keymap->spareBindingOf(keycode);
        if (std::any_of(keysyms.begin(), keysyms.end(), [](unsigned long keysym) { return keysym != 0; }))
            stale.emplace_back(keycode, std::vector<unsigned long>{0});
    }
    // Events are not selected yet, so this change sends us no notification.
    m_keymap->bindSpareKeys(stale);
    Display *display = m_connection->display();
    XDeleteProperty(display, DefaultRootWindow(display), m_claimAtom);
}

void XTestKeyInjector::claimSpareKeys()
{
    Display *display = m_connection->display();
    std::vector<long> claim{long(::getpid())};
    for (int keycode : m_keymap->emptyKeycodes())
        claim.push_back(keycode);
    XChangeProperty(display, DefaultRootWindow(display), m_claimAtom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(claim.data()), int(claim.size()));
}

void XTestKeyInjector::releaseSpareKeysClaim()
{
    const std::vector<long> claim = readClaim();
    if (!claim.empty() && claim.front() == long(::getpid())) {
        Display *display = m_connection->display();
        XDeleteProperty(display, DefaultRootWindow(display), m_claimAtom);
    }
}

// Notices keymap changes made by others: a new keyboard (setxkbmap) or a
// changed mapping (xmodmap) since the last call.
void XTestKeyInjector::handleServerEvents()
{
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    bool changed = false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != m_xkbEventBase)
            continue;
        const auto &xkbEvent = reinterpret_cast<const XkbEvent &>(event);
        if (xkbEvent.any.xkb_type == XkbNewKeyboardNotify) {
            changed = true;
        } else if (xkbEvent.any.xkb_type == XkbMapNotify) {
            if (m_ownMapChangesPending > 0)
                --m_ownMapChangesPending;
            else
                changed = true;
        }
    }
    m_connection->throwIfLost();
    if (changed)
        refreshAfterForeignChange();
}

// After setxkbmap (a new keyboard) or another client's change, the keymap
// is read again. Spare keys that still hold what we bound stay ours; the
// spare keys are those the new map leaves empty.
void XTestKeyInjector::refreshAfterForeignChange()
{
    const auto bindings = m_pool.bindings();
    m_keymap->reload();
    std::vector<int> spare = m_keymap->emptyKeycodes();
    std::vector<std::pair<SpareSlot, char32_t>> kept;
    std::vector<SpareSlot> pinned;
    for (const auto &[slot, character] : bindings) {
        const std::vector<unsigned long> keysyms = m_keymap->spareBindingOf(slot.keycode);
        const size_t index = size_t(slot.group) * size_t(m_keymap->spareLevels()) + size_t(slot.level);
        if (index < keysyms.size() && keysyms[index] == CharacterKeysym::of(character)) {
            spare.push_back(slot.keycode);
            kept.emplace_back(slot, character);
            if (m_pool.pinned(slot))
                pinned.push_back(slot);
        }
    }
    std::sort(spare.begin(), spare.end());
    spare.erase(std::unique(spare.begin(), spare.end()), spare.end());
    m_pool.reset(spare, m_keymap->spareLevels(), XkbKeymap::spareGroups());
    for (const auto &[slot, character] : kept)
        m_pool.bind(slot, character);
    for (const SpareSlot &slot : pinned)
        m_pool.pin(slot);
}

std::u32string XTestKeyInjector::typeBatches(const std::u32string &strokes, bool intoWine)
{
    using Clock = SpareKeyPool::Clock;
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    TypingSession session(display, *m_keymap);
    const int group = session.startGroup();
    const std::vector<int> spareKeys = m_pool.keycodes();
    std::vector<bool> onLayout(strokes.size());
    for (size_t i = 0; i < strokes.size(); ++i)
        onLayout[i] = m_keymap->find(strokes[i], group, spareKeys).has_value();
    // The slots this text may use; under Wine a part of them, kept in step.
    std::optional<SpareKeyPool> wineSlots;
    if (intoWine)
        wineSlots = slotsWineTypes();
    const SpareKeyPool &usable = wineSlots ? *wineSlots : m_pool;

    std::u32string untypeable;
    size_t next = 0;
    while (next < strokes.size()) {
        const Clock::time_point now = Clock::now();
        const bool receiverIdle = now >= m_pool.receiverIdleAt();
        const SpareBatch batch = planSpareBatch(strokes, next, onLayout, usable, receiverIdle);
        if (batch.end == next) {
            if (usable.size() > 0 && !receiverIdle) {
                // Slots change meaning only once the receiver has read
                // every key that used them.
                std::this_thread::sleep_until(m_pool.receiverIdleAt());
            } else {
                // No spare keycode at all: the character cannot be typed.
                if (untypeable.find(strokes[next]) == std::u32string::npos)
                    untypeable += strokes[next];
                ++next;
            }
            continue;
        }
        if (!batch.toBind.empty()) {
            std::vector<int> keycodes;
            for (const auto &[slot, character] : batch.toBind) {
                m_pool.bind(slot, character);
                if (wineSlots) {
                    wineSlots->bind(slot, character);
                    if (m_pool.levels() == 4)
                        m_pool.bind(SpareSlot{slot.keycode, slot.level + 2}, character);
                }
                if (std::find(keycodes.begin(), keycodes.end(), slot.keycode) == keycodes.end())
                    keycodes.push_back(slot.keycode);
            }
            sendBindings(keycodes);
            // The server has the new map before the first key that uses it,
            // and receivers get FirstUseDelay to load it.
            XSync(display, False);
            std::this_thread::sleep_for(FirstUseDelay);
        }
        for (size_t i = next; i < batch.end; ++i) {
            if (onLayout[i]) {
                session.type(*m_keymap->find(strokes[i], group, spareKeys));
            } else {
                const SpareSlot slot = *usable.slotFor(strokes[i]);
                session.typeSpare(slot.keycode, slot.level, slot.group);
                if (wineSlots) {
                    wineSlots->pin(slot);
                    m_pool.pin(slot);
                    m_pool.pin(SpareSlot{slot.keycode, slot.level + 2});
                }
            }
        }
        XFlush(display);
        m_pool.typed(batch.end - next, Clock::now());
        next = batch.end;
    }
    session.finish();
    XFlush(display);
    m_connection->throwIfLost();
    return untypeable;
}

// Puts the characters that the pool holds on these keycodes into the X
// server's map; a keycode that holds none is emptied.
void XTestKeyInjector::sendBindings(const std::vector<int> &keycodes)
{
    if (keycodes.empty())
        return;
    std::vector<std::pair<int, std::vector<unsigned long>>> keysyms;
    std::vector<int> emptied;
    for (int keycode : keycodes) {
        std::vector<unsigned long> levels;
        for (char32_t c : m_pool.charactersOn(keycode))
            levels.push_back(c == 0 ? 0 : CharacterKeysym::of(c));
        if (std::any_of(levels.begin(), levels.end(), [](unsigned long keysym) { return keysym != 0; }))
            FatalSignalCleanup::spareBound(keycode);
        else
            emptied.push_back(keycode);
        keysyms.emplace_back(keycode, std::move(levels));
    }
    m_keymap->bindSpareKeys(keysyms);
    ++m_ownMapChangesPending;
    for (int keycode : emptied)
        FatalSignalCleanup::spareEmptied(keycode);
}

void XTestKeyInjector::throwIfFailed()
{
    m_connection->throwIfLost();
    const QString error = m_connection->takeError();
    if (!error.isEmpty())
        throw OperationError(OperationError::TypingFailed, QStringLiteral("typing failed: ") + error);
}
