#include "keyboard/x11/xtestkeyinjector.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "keyboard/x11/fatalsignalcleanup.h"
#include "keyboard/x11/typingsession.h"
#include "keyboard/x11/xconnection.h"
#include "keyboard/x11/xkbkeymap.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
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

QString describe(char32_t c)
{
    return QStringLiteral("U+%1 '%2'").arg(uint(c), 4, 16, QLatin1Char('0')).arg(QString::fromUcs4(&c, 1));
}

} // namespace

XTestKeyInjector::XTestKeyInjector()
{
    m_restoreTimer.setSingleShot(true);
    m_restoreTimer.setInterval(RestoreDelay);
    QObject::connect(&m_restoreTimer, &QTimer::timeout, [this] {
        try {
            restoreKeymap();
        } catch (const OperationError &error) {
            Report::failure(error);
        }
    });
}

XTestKeyInjector::~XTestKeyInjector()
{
    if (!m_connection)
        return;
    try {
        restoreKeymap();
    } catch (const OperationError &error) {
        Report::failure(error);
    }
    disconnect();
}

void XTestKeyInjector::checkAvailable()
{
    if (m_connection && m_connection->lost())
        disconnect();
    if (!m_connection)
        connect();
}

void XTestKeyInjector::type(const QString &keys)
{
    const std::u32string strokes = m_text.strokesFor(keys);
    if (strokes.empty())
        return;
    checkAvailable();
    handleServerEvents();
    typeStrokes(strokes);
    m_restoreTimer.start();
    throwIfFailed();
}

void XTestKeyInjector::restoreKeymap()
{
    m_restoreTimer.stop();
    if (!m_connection || m_connection->lost() || !m_pool.hasBindings())
        return;
    std::vector<std::pair<int, unsigned long>> empty;
    for (const auto &[keycode, character] : m_pool.bindings())
        empty.emplace_back(keycode, 0);
    FatalSignalCleanup::Section section;
    bind(empty);
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
    m_pool.reset(m_keymap->emptyKeycodes());
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
    m_pool.reset({});
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
    std::vector<std::pair<int, unsigned long>> stale;
    for (size_t i = 1; i < claim.size(); ++i) {
        const int keycode = int(claim[i]);
        if (m_keymap->spareBindingOf(keycode) != 0)
            stale.emplace_back(keycode, 0);
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
    std::vector<std::pair<int, char32_t>> kept;
    for (const auto &[keycode, character] : bindings) {
        if (m_keymap->spareBindingOf(keycode) == XkbKeymap::keysymFor(character)) {
            spare.push_back(keycode);
            kept.emplace_back(keycode, character);
        }
    }
    std::sort(spare.begin(), spare.end());
    m_pool.reset(spare);
    for (const auto &[keycode, character] : kept)
        m_pool.bind(keycode, character);
}

void XTestKeyInjector::typeStrokes(const std::u32string &strokes)
{
    Display *display = m_connection->display();
    FatalSignalCleanup::Section section;
    TypingSession session(display, *m_keymap);
    const int group = session.startGroup();
    const std::vector<int> spareKeys = m_pool.keycodes();
    std::u32string untypeable;

    // Where each character that needs a spare key comes in the text, so that
    // the spare key given up is the one needed furthest ahead.
    std::unordered_map<char32_t, std::vector<size_t>> sparePlaces;
    for (size_t i = 0; i < strokes.size(); ++i) {
        if (!m_keymap->find(strokes[i], group, spareKeys))
            sparePlaces[strokes[i]].push_back(i);
    }
    size_t end = 0;
    const SpareKeyPool::NextUse nextUse = [&sparePlaces, &end](char32_t c) {
        auto it = sparePlaces.find(c);
        if (it == sparePlaces.end())
            return SpareKeyPool::NotNeeded;
        auto place = std::lower_bound(it->second.begin(), it->second.end(), end);
        return place == it->second.end() ? SpareKeyPool::NotNeeded : *place - end;
    };

    size_t next = 0;
    while (next < strokes.size()) {
        // Plan a batch: the text up to the first character that finds no
        // spare keycode free, with the spare keys it needs.
        std::vector<int> used;
        std::vector<std::pair<int, unsigned long>> toBind;
        const SpareKeyPool::Clock::time_point now = SpareKeyPool::Clock::now();
        for (end = next; end < strokes.size(); ++end) {
            const char32_t c = strokes[end];
            if (m_keymap->find(c, group, spareKeys))
                continue;
            std::optional<int> keycode = m_pool.keyFor(c);
            if (!keycode) {
                keycode = m_pool.freeKey(now, used, nextUse);
                if (!keycode)
                    break;
                m_pool.bind(*keycode, c);
                toBind.emplace_back(*keycode, XkbKeymap::keysymFor(c));
            }
            if (std::find(used.begin(), used.end(), *keycode) == used.end())
                used.push_back(*keycode);
        }
        bind(toBind);

        for (size_t i = next; i < end; ++i) {
            const char32_t c = strokes[i];
            if (const std::optional<KeyPosition> position = m_keymap->find(c, group, spareKeys))
                session.type(*position);
            else
                session.typeSpare(*m_pool.keyFor(c));
        }
        XFlush(display);
        const SpareKeyPool::Clock::time_point sent = SpareKeyPool::Clock::now();
        for (int keycode : used)
            m_pool.markUsed(keycode, sent);
        next = end;

        if (next < strokes.size()) {
            const std::optional<SpareKeyPool::Clock::time_point> freeAt = m_pool.nextFreeAt({});
            if (!freeAt) {
                // No spare keycode at all: the character cannot be typed.
                untypeable += strokes[next];
                ++next;
                continue;
            }
            std::this_thread::sleep_until(*freeAt);
        }
    }
    session.finish();
    XFlush(display);
    m_connection->throwIfLost();

    if (!untypeable.empty()) {
        QStringList names;
        for (char32_t c : untypeable.substr(0, 5))
            names << describe(c);
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("could not type %1 character(s) (%2): the keyboard layout lacks them "
                                            "and has no empty keycode to bind them to")
                                 .arg(untypeable.size())
                                 .arg(names.join(QStringLiteral(", "))));
    }
}

void XTestKeyInjector::bind(const std::vector<std::pair<int, unsigned long>> &keysyms)
{
    if (keysyms.empty())
        return;
    for (const auto &[keycode, keysym] : keysyms) {
        if (keysym != 0)
            FatalSignalCleanup::spareBound(keycode);
    }
    m_keymap->bindSpareKeys(keysyms);
    ++m_ownMapChangesPending;
    for (const auto &[keycode, keysym] : keysyms) {
        if (keysym == 0) {
            FatalSignalCleanup::spareEmptied(keycode);
            m_pool.bind(keycode, 0);
        }
    }
}

void XTestKeyInjector::throwIfFailed()
{
    m_connection->throwIfLost();
    const QString error = m_connection->takeError();
    if (!error.isEmpty())
        throw OperationError(OperationError::TypingFailed, QStringLiteral("typing failed: ") + error);
}
