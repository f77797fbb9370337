#include "keyboard/x11/xkbkeymap.h"

#include "core/operationerror.h"
#include "keyboard/x11keycode.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>

namespace {

constexpr unsigned MapParts = XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask;

} // namespace

int ModifierKeys::keycodeFor(unsigned modifier) const
{
    if (modifier == shiftMask)
        return shiftKeycode;
    if (modifier == level3Mask)
        return level3Keycode;
    return 0;
}

XkbKeymap::XkbKeymap(Display *display)
    : m_display(display)
{
    reload();
}

XkbKeymap::~XkbKeymap()
{
    if (m_xkb)
        XkbFreeKeyboard(m_xkb, 0, True);
}

void XkbKeymap::reload()
{
    XkbDescPtr xkb = XkbGetMap(m_display, MapParts, XkbUseCoreKbd);
    if (!xkb || !xkb->map) {
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("typing failed: the X server did not send its keyboard map"));
    }
    if (m_xkb)
        XkbFreeKeyboard(m_xkb, 0, True);
    m_xkb = xkb;
    m_index.reset();
    readLayouts();
    readModifiers();
    findFourLevelType();
}

void XkbKeymap::readLayouts()
{
    XFlush(m_display); // what Xlib holds goes before libxkbcommon's requests
    xcb_connection_t *connection = XGetXCBConnection(m_display);
    if (!m_context)
        m_context.reset(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!m_context
        || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                        XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("typing failed: the X server's keyboard extension cannot be used"));
    m_layouts.reset(xkb_x11_keymap_new_from_device(
        m_context.get(), connection, xkb_x11_get_core_keyboard_device_id(connection), XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!m_layouts)
        throw OperationError(OperationError::TypingFailed,
                             QStringLiteral("typing failed: the X server's keyboard map cannot be read"));
}

unsigned XkbKeymap::modifiersOf(int keycode) const
{
    // A keymap without modifier keys has no modifier map at all (Xwayland
    // with the keymap of a client's virtual keyboard).
    return m_xkb->map->modmap ? m_xkb->map->modmap[keycode] : 0;
}

void XkbKeymap::readModifiers()
{
    m_modifiers = ModifierKeys{};
    const int lastKeycode = std::min(int(m_xkb->max_key_code), HighestX11Keycode);
    for (int keycode = m_xkb->min_key_code; keycode <= lastKeycode; ++keycode) {
        const unsigned mods = modifiersOf(keycode);
        if (mods == 0 || XkbKeyNumGroups(m_xkb, keycode) == 0)
            continue;
        m_modifiers.all.push_back(keycode);
        const KeySym sym = XkbKeySymEntry(m_xkb, keycode, 0, 0);
        if ((sym == XK_Shift_L || sym == XK_Shift_R) && mods == ShiftMask) {
            if (!m_modifiers.shiftKeycode || sym == XK_Shift_L)
                m_modifiers.shiftKeycode = keycode;
            m_modifiers.shiftMask = ShiftMask;
        } else if (sym == XK_ISO_Level3_Shift && !m_modifiers.level3Keycode) {
            m_modifiers.level3Keycode = keycode;
            m_modifiers.level3Mask = mods;
        }
    }
}

std::optional<KeyPosition> XkbKeymap::find(char32_t c, int group, const std::vector<int> &skipped)
{
    if (!m_index || m_indexGroup != group || m_indexSkipped != skipped) {
        m_index.emplace(m_layouts.get(), LayoutIndex::Options{uint32_t(group), true, {skipped.begin(), skipped.end()}});
        m_indexGroup = group;
        m_indexSkipped = skipped;
    }
    const LayoutIndex::Place *place = m_index->find(c);
    // The modifiers XTEST presses: those the server has for Shift and AltGr.
    if (!place || (place->shift && !m_modifiers.shiftMask) || (place->levelThree && !m_modifiers.level3Mask))
        return std::nullopt;
    return KeyPosition{int(place->keycode), int(place->layout),
                       (place->shift ? m_modifiers.shiftMask : 0) | (place->levelThree ? m_modifiers.level3Mask : 0)};
}

std::vector<int> XkbKeymap::emptyKeycodes() const
{
    std::vector<int> keycodes;
    const int lastKeycode = std::min(int(m_xkb->max_key_code), HighestX11Keycode);
    for (int keycode = std::max(int(m_xkb->min_key_code), 9); keycode <= lastKeycode; ++keycode) {
        if (XkbKeyNumGroups(m_xkb, keycode) == 0 && modifiersOf(keycode) == 0)
            keycodes.push_back(keycode);
    }
    return keycodes;
}

// A key type whose levels 1, 2 and 3 are selected by exactly Shift, the
// AltGr modifier and both: spare keycodes get four characters on it.
void XkbKeymap::findFourLevelType()
{
    m_fourLevelType = -1;
    const unsigned shift = m_modifiers.shiftMask;
    const unsigned level3 = m_modifiers.level3Mask;
    if (!shift || !level3 || !m_modifiers.level3Keycode || !m_modifiers.shiftKeycode)
        return;
    for (int index = 0; index < m_xkb->map->num_types; ++index) {
        const XkbKeyTypeRec &type = m_xkb->map->types[index];
        if (type.num_levels != 4 || type.mods.mask != (shift | level3))
            continue;
        int found = 0;
        for (int i = 0; i < type.map_count; ++i) {
            const XkbKTMapEntryRec &entry = type.map[i];
            if (!entry.active)
                continue;
            if (entry.mods.mask == spareLevelModifiers(entry.level) && entry.level > 0)
                found |= 1 << entry.level;
            else
                found = -1;
            if (found < 0)
                break;
        }
        if (found == 0b1110) {
            m_fourLevelType = index;
            return;
        }
    }
}

unsigned XkbKeymap::spareLevelModifiers(int level) const
{
    return (level & 1 ? m_modifiers.shiftMask : 0) | (level & 2 ? m_modifiers.level3Mask : 0);
}

int XkbKeymap::spareGroups()
{
    return XkbNumKbdGroups;
}

std::vector<unsigned long> XkbKeymap::spareBindingOf(int keycode) const
{
    if (keycode < m_xkb->min_key_code || keycode > m_xkb->max_key_code)
        return {};
    std::vector<unsigned long> keysyms;
    keysyms.reserve(size_t(XkbKeyNumGroups(m_xkb, keycode)) * 4);
    for (int group = 0; group < XkbKeyNumGroups(m_xkb, keycode); ++group) {
        const int type = XkbKeyKeyTypeIndex(m_xkb, keycode, group);
        if (m_fourLevelType >= 0) {
            if (type != m_fourLevelType)
                return {};
            for (int level = 0; level < 4; ++level)
                keysyms.push_back(XkbKeySymEntry(m_xkb, keycode, level, group));
            continue;
        }
        const bool looksBound = type == XkbAlphabeticIndex && XkbKeyGroupWidth(m_xkb, keycode, group) == 2
                                && XkbKeySymEntry(m_xkb, keycode, 0, group) == XkbKeySymEntry(m_xkb, keycode, 1, group);
        if (!looksBound)
            return {};
        keysyms.push_back(XkbKeySymEntry(m_xkb, keycode, 0, group));
    }
    return keysyms;
}

void XkbKeymap::bindSpareKeys(const std::vector<std::pair<int, std::vector<unsigned long>>> &keysyms)
{
    if (keysyms.empty())
        return;
    const size_t levels = size_t(spareLevels());
    int first = HighestX11Keycode;
    int last = 0;
    for (const auto &[keycode, symbols] : keysyms) {
        const auto lastBound =
            std::find_if(symbols.rbegin(), symbols.rend(), [](unsigned long keysym) { return keysym != NoSymbol; });
        const int groups = int((symbols.rend() - lastBound + levels - 1) / levels);
        // Emptied here first, both to empty it and to bind it anew: no groups
        // is an empty key, which XkbChangeTypesOfKey refuses to make (libX11
        // 1.8.12 answers BadMatch and leaves the key bound), and it changes
        // the group count of a key that has groups only with the server part
        // of the keymap at hand, which is not read here (it crashes).
        XkbSymMapRec &map = m_xkb->map->key_sym_map[keycode];
        map.group_info = XkbSetNumGroups(map.group_info, 0);
        map.width = 0;
        if (groups > 0) {
            int types[XkbNumKbdGroups];
            std::fill(std::begin(types), std::end(types), m_fourLevelType >= 0 ? m_fourLevelType : XkbAlphabeticIndex);
            XkbMapChangesRec ignored{};
            const int status = XkbChangeTypesOfKey(m_xkb, keycode, groups, XkbAllGroupsMask, types, &ignored);
            if (status != Success) {
                reload(); // what this call already changed is not sent
                throw OperationError(OperationError::TypingFailed,
                                     QStringLiteral("typing failed: Xlib could not give keycode %1 a key type "
                                                    "(X error %2); the spare keys are left as they are")
                                         .arg(keycode)
                                         .arg(status));
            }
            const int width = XkbKeyGroupsWidth(m_xkb, keycode);
            KeySym *syms = XkbKeySymsPtr(m_xkb, keycode);
            for (int group = 0; group < groups; ++group) {
                for (int level = 0; level < width; ++level) {
                    const size_t index = size_t(group) * levels + (levels == 1 ? 0 : size_t(level));
                    syms[group * width + level] = index < symbols.size() ? symbols[index] : NoSymbol;
                }
            }
        }
        first = std::min(first, keycode);
        last = std::max(last, keycode);
    }
    XkbMapChangesRec changes{};
    changes.changed = XkbKeySymsMask;
    changes.first_key_sym = KeyCode(first);
    changes.num_key_syms = (unsigned char)(last - first + 1);
    XkbChangeMap(m_display, m_xkb, &changes);
}
