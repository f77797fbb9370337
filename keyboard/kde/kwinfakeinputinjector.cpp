#include "keyboard/kde/kwinfakeinputinjector.h"

#include "core/operationerror.h"
#include "keyboard/characterkeysym.h"
#include "keyboard/wayland/waylandconnection.h"

#include "fake-input-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <utility>

// The gap where Xwayland is not watched: KWin passes each key on to
// Xwayland before it answers the next request; then only Xwayland's clock
// needs to move on.
KWinFakeInputInjector::KWinFakeInputInjector(std::function<bool()> x11ProgramHasFocus)
    : LayoutKeyInjector(std::chrono::milliseconds(2), std::move(x11ProgramHasFocus))
{}

KWinFakeInputInjector::~KWinFakeInputInjector()
{
    closeKeys();
}

void KWinFakeInputInjector::openKeys(WaylandConnection &connection)
{
    if (!connection.offers(Protocol))
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("The Wayland compositor at %1 does not let bexlow type (%2): KWin allows "
                                            "it only to bexlow installed with its desktop entry")
                                 .arg(WaylandConnection::displayName(), QLatin1String(Protocol)));
    auto *fakeInput =
        static_cast<org_kde_kwin_fake_input *>(connection.bind(&org_kde_kwin_fake_input_interface, KeysymVersion));
    const uint32_t version = org_kde_kwin_fake_input_get_version(fakeInput);
    if (version < KeyboardVersion) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(fakeInput));
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("KWin's fake input at %1 is version %2, which has no keyboard (KWin "
                                            "5.27 or later has)")
                                 .arg(WaylandConnection::displayName())
                                 .arg(version));
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "bexlow", "types what a serial device sends");
    m_fakeInput = fakeInput;
    m_version = version;
    m_connection = &connection;
    m_unflushed = 0;
}

void KWinFakeInputInjector::closeKeys()
{
    // The destroy request came with version 5; before, the object just goes.
    if (m_fakeInput && m_version >= 5)
        org_kde_kwin_fake_input_destroy(m_fakeInput);
    else if (m_fakeInput)
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_fakeInput));
    m_fakeInput = nullptr;
    m_connection = nullptr;
}

void KWinFakeInputInjector::key(uint32_t evdevCode, bool pressed)
{
    org_kde_kwin_fake_input_keyboard_key(m_fakeInput, evdevCode,
                                         pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    sent();
}

bool KWinFakeInputInjector::typeCharacter(char32_t c)
{
    if (m_version < KeysymVersion || x11ProgramFocused())
        return false;
    const uint32_t keysym = CharacterKeysym::of(c);
    if (keysym == XKB_KEY_NoSymbol)
        return false;
    org_kde_kwin_fake_input_keyboard_keysym(m_fakeInput, keysym, WL_KEYBOARD_KEY_STATE_PRESSED);
    sent();
    org_kde_kwin_fake_input_keyboard_keysym(m_fakeInput, keysym, WL_KEYBOARD_KEY_STATE_RELEASED);
    sent();
    return true;
}

void KWinFakeInputInjector::sent()
{
    if (++m_unflushed < WaylandConnection::RequestsPerFlush)
        return;
    flush();
}

void KWinFakeInputInjector::flush()
{
    m_connection->flush();
    m_unflushed = 0;
}

void KWinFakeInputInjector::sync()
{
    flush();
    m_connection->roundtrip();
}
