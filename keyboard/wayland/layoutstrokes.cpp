#include "keyboard/wayland/layoutstrokes.h"

#include "core/operationerror.h"
#include "keyboard/wayland/xkbhandles.h"
#include "keyboard/x11keycode.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <memory>

namespace {

// A state with layout locked, as the compositor has it: each key gives
// what it has in that layout, or, where it has fewer, in the one it falls
// back to (Shift, Return and space often have only the first).
XkbStateHandle lockedTo(xkb_keymap *keymap, xkb_layout_index_t layout)
{
    XkbStateHandle state(xkb_state_new(keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
    return state;
}

// The lowest keycode whose first level gives keysym in layout.
xkb_keycode_t keyFor(xkb_keymap *keymap, xkb_layout_index_t layout, xkb_keysym_t keysym)
{
    const XkbStateHandle state = lockedTo(keymap, layout);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        const xkb_keysym_t *syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, xkb_state_key_get_layout(state.get(), key), 0, &syms) == 1
            && syms[0] == keysym)
            return key;
    }
    return 0;
}

// Where a compositor that looks a keysym up finds it first: the lowest
// keycode, then the lowest level, in layout.
std::unordered_map<xkb_keysym_t, std::pair<xkb_keycode_t, xkb_level_index_t>> firstPlaces(xkb_keymap *keymap,
                                                                                          xkb_layout_index_t layout)
{
    const XkbStateHandle state = lockedTo(keymap, layout);
    std::unordered_map<xkb_keysym_t, std::pair<xkb_keycode_t, xkb_level_index_t>> places;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        const xkb_layout_index_t keyLayout = xkb_state_key_get_layout(state.get(), key);
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, keyLayout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t *syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, keyLayout, level, &syms);
            for (int i = 0; i < count; ++i)
                places.emplace(syms[i], std::make_pair(key, level));
        }
    }
    return places;
}

} // namespace

LayoutStrokes::LayoutStrokes(const std::string &keymapText, uint32_t layout)
{
    const XkbContextHandle context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    const XkbKeymapHandle keymap(context ? xkb_keymap_new_from_string(context.get(), keymapText.c_str(),
                                                                      XKB_KEYMAP_FORMAT_TEXT_V1,
                                                                      XKB_KEYMAP_COMPILE_NO_FLAGS)
                                         : nullptr);
    if (!keymap)
        throw OperationError(OperationError::TypingUnavailable,
                             QStringLiteral("The compositor's keyboard layout cannot be read (it does not compile)"));
    if (layout >= xkb_keymap_num_layouts(keymap.get()))
        layout = 0;
    m_shiftKey = keyFor(keymap.get(), layout, XKB_KEY_Shift_L);
    m_levelThreeKey = keyFor(keymap.get(), layout, XKB_KEY_ISO_Level3_Shift);
    const auto places = firstPlaces(keymap.get(), layout);

    // X11 windows under Xwayland get no higher key: a character only a
    // higher key gives (EuroSign on the Euro key, 443) would never reach them.
    const xkb_keycode_t lastKey = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap.get()), HighestX11Keycode);
    for (int way = 0; way < 4; ++way) {
        const bool shift = way & 1;
        const bool levelThree = way & 2;
        if ((shift && !m_shiftKey) || (levelThree && !m_levelThreeKey))
            continue;
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap.get()); key <= lastKey; ++key) {
            if (key == m_shiftKey || key == m_levelThreeKey)
                continue;
            // A fresh state each time: no lock but the layout's, no latch.
            const XkbStateHandle state = lockedTo(keymap.get(), layout);
            if (shift)
                xkb_state_update_key(state.get(), m_shiftKey, XKB_KEY_DOWN);
            if (levelThree)
                xkb_state_update_key(state.get(), m_levelThreeKey, XKB_KEY_DOWN);
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), key);
            const char32_t c = xkb_state_key_get_utf32(state.get(), key);
            if (keysym == XKB_KEY_NoSymbol || c == 0 || m_strokes.count(c))
                continue;
            Stroke stroke{key, keysym, shift, levelThree, false};
            const auto place = places.find(keysym);
            const xkb_level_index_t level =
                xkb_state_key_get_level(state.get(), key, xkb_state_key_get_layout(state.get(), key));
            stroke.firstPlaceOfKeysym = !levelThree && place != places.end() && place->second.first == key
                                        && place->second.second == level && level == (shift ? 1u : 0u);
            m_strokes.emplace(c, stroke);
        }
    }
}

const LayoutStrokes::Stroke *LayoutStrokes::find(char32_t c) const
{
    const auto it = m_strokes.find(c);
    return it == m_strokes.end() ? nullptr : &it->second;
}
