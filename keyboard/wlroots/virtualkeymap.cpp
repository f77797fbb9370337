#include "keyboard/wlroots/virtualkeymap.h"

#include "core/operationerror.h"
#include "keyboard/characterkeysym.h"
#include "keyboard/xkbhandles.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <sstream>
#include <unordered_set>

namespace {

constexpr int EvdevOffset = 8;

// Control characters typed as keys, on the keys that carry them on a PC.
struct ControlKey
{
    char32_t character;
    int evdevCode;
    const char *keysym;
};
constexpr ControlKey ControlKeys[] = {
    {U'\x1b', 1, "Escape"},
    {U'\b', 14, "BackSpace"},
    {U'\t', 15, "Tab"},
    {U'\r', 28, "Return"},
};

// Evdev codes of keys that produce text on a PC keyboard and that no
// receiver treats as a command: digits row, letter rows, space, the extra
// key of 102-key boards, the keypad without Enter and the lock keys, and
// F13 to F24, which programs leave to the user.
std::vector<int> characterKeyCodes()
{
    std::vector<int> codes;
    auto range = [&codes](int first, int last) {
        for (int code = first; code <= last; ++code)
            codes.push_back(code);
    };
    range(2, 13);                 // 1 .. =
    range(16, 27);                // q .. ]
    range(30, 41);                // a .. `
    range(43, 53);                // \ .. /
    for (int code : {57, 86, 55}) // space, 102nd, keypad *
        codes.push_back(code);
    range(71, 83);                                 // keypad 7 .. keypad .
    for (int code : {98, 117, 118, 121, 179, 180}) // keypad / = +- , ( )
        codes.push_back(code);
    range(183, 194); // F13 .. F24
    return codes;
}

const std::vector<int> &characterKeycodes()
{
    static const std::vector<int> keycodes = [] {
        std::vector<int> result;
        for (int code : characterKeyCodes())
            result.push_back(code + EvdevOffset);
        return result;
    }();
    return keycodes;
}

const ControlKey *controlKey(char32_t c)
{
    for (const ControlKey &key : ControlKeys)
        if (key.character == c)
            return &key;
    return nullptr;
}

// The name of the keysym that yields c, by the one rule every backend
// types keysyms with.
std::string keysymName(char32_t c)
{
    char name[64];
    xkb_keysym_get_name(CharacterKeysym::of(c), name, sizeof name);
    return name;
}

OperationError keymapError(const QString &what)
{
    return OperationError(OperationError::TypingFailed, QStringLiteral("cannot build the typing keymap: %1").arg(what));
}

} // namespace

const size_t VirtualKeymap::KeyCount = characterKeycodes().size() * VirtualKeymap::Groups;

VirtualKeymap::VirtualKeymap()
{
    for (int group = 0; group < Groups; ++group)
        for (int keycode : characterKeycodes())
            m_keys.push_back({keycode, group, 0, 0});
}

namespace {

// How many keys strokes[i] needs in a piece that starts at `from`: two when
// it comes right after itself, else one.
size_t keysFor(const std::u32string &strokes, size_t from, size_t i)
{
    return i > from && strokes[i - 1] == strokes[i] ? 2 : 1;
}

// How many keys each character of strokes[from, to) needs.
std::unordered_map<char32_t, size_t> keysNeeded(const std::u32string &strokes, size_t from, size_t to)
{
    std::unordered_map<char32_t, size_t> needed;
    for (size_t i = from; i < to; ++i) {
        if (controlKey(strokes[i]))
            continue;
        size_t &count = needed[strokes[i]];
        count = std::max(count, keysFor(strokes, from, i));
    }
    return needed;
}

} // namespace

size_t VirtualKeymap::pieceEnd(const std::u32string &strokes, size_t from) const
{
    std::unordered_map<char32_t, size_t> needed;
    size_t keys = 0;
    size_t end = from;
    for (; end < strokes.size(); ++end) {
        const char32_t c = strokes[end];
        if (controlKey(c))
            continue;
        const size_t count = keysFor(strokes, from, end);
        size_t &held = needed[c];
        if (count <= held)
            continue;
        if (keys + count - held > m_keys.size())
            break;
        keys += count - held;
        held = count;
    }
    return end;
}

bool VirtualKeymap::prepare(const std::u32string &strokes, size_t from, size_t to)
{
    const std::unordered_map<char32_t, size_t> needed = keysNeeded(strokes, from, to);
    ++m_clock;
    m_rebound.clear();
    std::vector<char32_t> missing; // a character once for each key it lacks
    for (const auto &[c, count] : needed) {
        const auto found = m_keysOf.find(c);
        const size_t held = found == m_keysOf.end() ? 0 : found->second.size();
        if (found != m_keysOf.end())
            for (size_t index : found->second)
                m_keys[index].lastUse = m_clock;
        for (size_t i = held; i < count; ++i)
            missing.push_back(c);
    }
    if (missing.empty())
        return false;
    // Keys not needed now, free ones first, then those used longest ago.
    std::vector<size_t> spare;
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i].lastUse != m_clock)
            spare.push_back(i);
    std::stable_sort(spare.begin(), spare.end(), [this](size_t a, size_t b) {
        return std::make_pair(m_keys[a].character != 0, m_keys[a].lastUse)
               < std::make_pair(m_keys[b].character != 0, m_keys[b].lastUse);
    });
    std::sort(missing.begin(), missing.end());
    for (char32_t c : missing) {
        std::vector<size_t> &keysOfC = m_keysOf[c];
        // A second key of a character is on another keycode than its first
        // where one is spare.
        auto chosen = std::find_if(spare.begin(), spare.end(), [&](size_t candidate) {
            return keysOfC.empty() || m_keys[candidate].keycode != m_keys[keysOfC.front()].keycode;
        });
        if (chosen == spare.end())
            chosen = spare.begin();
        const size_t index = *chosen;
        spare.erase(chosen);
        Key &key = m_keys[index];
        if (key.character) {
            std::vector<size_t> &previous = m_keysOf[key.character];
            previous.erase(std::find(previous.begin(), previous.end(), index));
            if (previous.empty())
                m_keysOf.erase(key.character);
            m_rebound.push_back(key.keycode);
        }
        key.character = c;
        key.lastUse = m_clock;
        keysOfC.push_back(index);
    }
    return true;
}

VirtualKeymap::Position VirtualKeymap::positionOf(char32_t c, int previous) const
{
    if (const ControlKey *control = controlKey(c))
        return {control->evdevCode + EvdevOffset, 0};
    const auto found = m_keysOf.find(c);
    if (found == m_keysOf.end())
        return {};
    const std::vector<size_t> &keys = found->second;
    const Key &key = m_keys[keys.size() > 1 && m_keys[keys[0]].keycode == previous ? keys[1] : keys[0]];
    return {key.keycode, key.group};
}

std::string VirtualKeymap::source() const
{
    // The standard types and compatibility rules: some receivers (Chromium)
    // misbehave on a keymap that lacks the usual virtual modifiers.
    std::ostringstream out;
    out << "xkb_keymap {\n"
        << "xkb_keycodes \"" << KeycodesName << "\" {\n minimum = 8;\n maximum = 255;\n";
    for (const ControlKey &key : ControlKeys)
        out << " <C" << key.evdevCode + EvdevOffset << "> = " << key.evdevCode + EvdevOffset << ";\n";
    std::map<int, std::array<char32_t, Groups>> symbols; // keycode -> character of each group
    for (const Key &key : m_keys)
        if (key.character)
            symbols[key.keycode][size_t(key.group)] = key.character;
    for (const auto &[keycode, characters] : symbols)
        out << " <K" << keycode << "> = " << keycode << ";\n";
    out << "};\n"
        << "xkb_types \"bexlow\" { include \"complete\" };\n"
        << "xkb_compatibility \"bexlow\" { include \"complete\" };\n"
        << "xkb_symbols \"bexlow\" {\n";
    for (const ControlKey &key : ControlKeys)
        out << " key <C" << key.evdevCode + EvdevOffset << "> { [ " << key.keysym << " ] };\n";
    for (const auto &[keycode, characters] : symbols) {
        out << " key <K" << keycode << "> {";
        int used = 0; // groups up to the last one that holds a character
        for (int group = 0; group < Groups; ++group)
            if (characters[size_t(group)])
                used = group + 1;
        for (int group = 0; group < used; ++group)
            out << (group ? "," : "") << " symbols[Group" << group + 1 << "] = [ "
                << (characters[size_t(group)] ? keysymName(characters[size_t(group)]) : "NoSymbol") << " ]";
        out << " };\n";
    }
    out << "};\n};\n";
    return out.str();
}

std::string VirtualKeymap::text() const
{
    const XkbContextHandle context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        throw keymapError(QStringLiteral("libxkbcommon cannot start"));
    const std::string written = source();
    const XkbKeymapHandle keymap(xkb_keymap_new_from_string(context.get(), written.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                            XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw keymapError(QStringLiteral("libxkbcommon rejects it (are the XKB data files installed?)"));
    const XkbStateHandle state(xkb_state_new(keymap.get()));
    for (const Key &key : m_keys) {
        if (!key.character)
            continue;
        xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, xkb_layout_index_t(key.group));
        if (xkb_state_key_get_utf32(state.get(), xkb_keycode_t(key.keycode)) != key.character)
            throw keymapError(QStringLiteral("key %1 does not yield U+%2")
                                  .arg(key.keycode)
                                  .arg(uint(key.character), 4, 16, QLatin1Char('0')));
    }
    char *complete = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!complete)
        throw keymapError(QStringLiteral("libxkbcommon cannot write it out"));
    std::string result(complete);
    std::free(complete);
    return result;
}
