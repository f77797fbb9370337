#pragma once

#include "keyboard/layoutindex.h"
#include "keyboard/xkbhandles.h"

#include <optional>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

// Where a character sits on the keyboard: the key, the group (layout) and
// the modifiers that select its level.
struct KeyPosition
{
    int keycode = 0;
    int group = 0;
    unsigned modifiers = 0;
};

// The modifier keys that typing presses, and every keycode that is a
// modifier (to let go of those the user holds).
struct ModifierKeys
{
    unsigned shiftMask = 0;
    int shiftKeycode = 0;
    unsigned level3Mask = 0; // the real modifier of ISO_Level3_Shift (AltGr), 0 if none
    int level3Keycode = 0;
    std::vector<int> all;

    unsigned typingModifiers() const { return shiftMask | level3Mask; }
    // The key that gives one modifier bit; 0 when there is none.
    int keycodeFor(unsigned modifier) const;
};

// The X server's XKB keymap as typing needs it: where characters sit, which
// keycodes are empty, and binding characters to empty ("spare") keycodes.
// The server's map is read once and then kept in step locally; reload()
// reads it again after someone else changed it.
class XkbKeymap
{
public:
    explicit XkbKeymap(Display *display);
    ~XkbKeymap();
    XkbKeymap(const XkbKeymap &) = delete;
    XkbKeymap &operator=(const XkbKeymap &) = delete;

    void reload();

    const ModifierKeys &modifiers() const { return m_modifiers; }

    // The easiest position of character c (LayoutIndex), preferring
    // `group`, leaving out the keycodes in `skipped` (the spare keys).
    std::optional<KeyPosition> find(char32_t c, int group, const std::vector<int> &skipped);

    // Keycodes 9 to 255 that have no symbols. Keycode 8 is left out: it
    // stands for no key on Linux, and keycodes above 255 are not seen by
    // every receiver (XWayland drops them).
    std::vector<int> emptyKeycodes() const;

    // How many characters a group of a spare keycode holds: 4 on the levels
    // of the layout's four-level key type (plain, Shift, AltGr, Shift+AltGr)
    // when it has one and an AltGr key, else 1.
    int spareLevels() const { return m_fourLevelType < 0 ? 1 : 4; }
    // How many groups a spare keycode may have: as many as XKB allows. A
    // character in a group other than the one in force is typed with that
    // group latched for its key alone.
    static int spareGroups();
    // The modifiers that select a level of a spare keycode.
    unsigned spareLevelModifiers(int level) const;

    // The keysyms (spareLevels() a group, group after group) of a keycode
    // that holds what bindSpareKeys leaves; empty for any other keycode.
    std::vector<unsigned long> spareBindingOf(int keycode) const;

    // Gives each keycode its keysyms, spareLevels() a group, group after
    // group; a keycode gets the groups up to its last keysym, and one whose
    // keysyms are all 0 is emptied. With one level a keycode gets the
    // ALPHABETIC type with the keysym on both levels, so that neither Shift
    // nor Caps Lock changes it. All in one request, so receivers reload their
    // keymap once. Throws OperationError(TypingFailed) when Xlib refuses a
    // key type; nothing is sent then.
    void bindSpareKeys(const std::vector<std::pair<int, std::vector<unsigned long>>> &keysyms);

private:
    void readLayouts();
    void readModifiers();
    unsigned modifiersOf(int keycode) const;
    void findFourLevelType();

    Display *m_display = nullptr;
    struct _XkbDesc *m_xkb = nullptr;
    ModifierKeys m_modifiers;
    XkbContextHandle m_context;
    XkbKeymapHandle m_layouts; // the same map, read by libxkbcommon
    std::optional<LayoutIndex> m_index;
    int m_indexGroup = 0;
    std::vector<int> m_indexSkipped;
    int m_fourLevelType = -1;
};
