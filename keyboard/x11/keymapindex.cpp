#include "keyboard/x11/keymapindex.h"

#include "keyboard/x11keycode.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bitset>
#include <tuple>

namespace {

// The modifiers that select `level` of a key type; none when no entry of
// the type selects it.
std::optional<unsigned> modifiersForLevel(const XkbKeyTypeRec &type, int level)
{
    std::optional<unsigned> best;
    if (level == 0)
        best = 0u;
    for (int i = 0; i < type.map_count; ++i) {
        const XkbKTMapEntryRec &entry = type.map[i];
        if (!entry.active)
            continue;
        if (entry.level == level) {
            if (!best || std::bitset<8>(entry.mods.mask).count() < std::bitset<8>(*best).count())
                best = entry.mods.mask;
        } else if (level == 0 && entry.mods.mask == 0) {
            best.reset(); // no modifiers select another level here
        }
    }
    return best;
}

} // namespace

KeymapIndex::KeymapIndex(const _XkbDesc *xkb, unsigned typingModifiers, int preferredGroup,
                         const std::vector<int> &skipped)
    : m_preferredGroup(preferredGroup)
{
    auto desc = const_cast<XkbDescPtr>(xkb);
    auto rank = [preferredGroup](const KeyPosition &p) {
        return std::make_tuple(p.group != preferredGroup, std::bitset<8>(p.modifiers).count(), p.keycode, p.group);
    };
    const int lastKeycode = std::min(int(desc->max_key_code), HighestX11Keycode);
    for (int keycode = desc->min_key_code; keycode <= lastKeycode; ++keycode) {
        if (desc->map->modmap && desc->map->modmap[keycode] != 0)
            continue;
        if (std::find(skipped.begin(), skipped.end(), keycode) != skipped.end())
            continue;
        for (int group = 0; group < XkbKeyNumGroups(desc, keycode); ++group) {
            const XkbKeyTypeRec &type = *XkbKeyKeyType(desc, keycode, group);
            for (int level = 0; level < type.num_levels; ++level) {
                const KeySym sym = XkbKeySymEntry(desc, keycode, level, group);
                if (sym == NoSymbol || IsKeypadKey(sym))
                    continue;
                const char32_t c = xkb_keysym_to_utf32(xkb_keysym_t(sym));
                if (c == 0)
                    continue;
                const std::optional<unsigned> modifiers = modifiersForLevel(type, level);
                if (!modifiers || (*modifiers & ~typingModifiers) != 0)
                    continue;
                const KeyPosition candidate{keycode, group, *modifiers};
                auto [it, inserted] = m_positions.try_emplace(c, candidate);
                if (!inserted && rank(candidate) < rank(it->second))
                    it->second = candidate;
            }
        }
    }
}

std::optional<KeyPosition> KeymapIndex::find(char32_t c) const
{
    auto it = m_positions.find(c);
    if (it == m_positions.end())
        return std::nullopt;
    return it->second;
}
