#include "keyboard/wayland/layoutstrokes.h"

#include "core/operationerror.h"
#include "keyboard/layoutindex.h"
#include "keyboard/xkbhandles.h"

#include <xkbcommon/xkbcommon.h>

#include <utility>

namespace {

// Where a compositor that looks a keysym up finds it first: the lowest
// keycode, then the lowest level, in layout.
std::unordered_map<xkb_keysym_t, std::pair<xkb_keycode_t, xkb_level_index_t>> firstPlaces(xkb_keymap *keymap,
                                                                                          xkb_layout_index_t layout)
{
    const XkbStateHandle state(xkb_state_new(keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
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
    const LayoutIndex index(keymap.get(), LayoutIndex::Options{layout, false, {}});
    m_shiftKey = index.shiftKey();
    m_levelThreeKey = index.levelThreeKey();
    const auto places = firstPlaces(keymap.get(), layout);
    for (const auto &[c, place] : index.places()) {
        const auto first = places.find(place.keysym);
        const bool firstPlace = !place.levelThree && first != places.end()
                                && first->second == std::pair(place.keycode, place.level)
                                && place.level == (place.shift ? 1u : 0u);
        m_strokes.emplace(c, Stroke{place.keycode, place.keysym, place.shift, place.levelThree, firstPlace});
    }
}

const LayoutStrokes::Stroke *LayoutStrokes::find(char32_t c) const
{
    const auto it = m_strokes.find(c);
    return it == m_strokes.end() ? nullptr : &it->second;
}
