#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

// The keycodes that the keyboard layout leaves empty, lent out one character
// each to type characters that the layout lacks.
//
// A receiver looks a keycode up when it processes the key event, which may be
// a while after the event was sent. So a keycode is never given a new
// character until ReuseGap has passed since its last use, and the keycode
// used least recently is the one given out: with many spare keycodes, a
// receiver still reading older events never sees a keycode change meaning
// under it. Only the bookkeeping lives here; binding a keycode in the X
// server is the caller's business.
class SpareKeyPool
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds ReuseGap{20};

    // Starts over with these keycodes, none bound.
    void reset(const std::vector<int> &keycodes);

    int size() const { return int(m_keys.size()); }
    std::vector<int> keycodes() const;

    // The keycode bound to character c, if one is.
    std::optional<int> keyFor(char32_t c) const;

    // How far ahead a character is typed next; NotNeeded when it is not.
    using NextUse = std::function<size_t(char32_t)>;
    static constexpr size_t NotNeeded = size_t(-1);

    // A keycode, not in `taken` and not used within ReuseGap before now,
    // that may be given a new character: an unbound one if there is one,
    // else the one whose character is needed furthest ahead (by nextUse,
    // when given), else the one used least recently. None when every
    // keycode is either taken or used too recently.
    std::optional<int> freeKey(Clock::time_point now, const std::vector<int> &taken, const NextUse &nextUse = {}) const;

    // When freeKey() will have a keycode that is not in `taken` to give,
    // at the earliest; std::nullopt when `taken` holds every keycode.
    std::optional<Clock::time_point> nextFreeAt(const std::vector<int> &taken) const;

    // Records that keycode now means character c (0: nothing).
    void bind(int keycode, char32_t c);
    // Records that keycode was typed at `when`.
    void markUsed(int keycode, Clock::time_point when);

    // The keycodes that mean a character, and what each means.
    std::vector<std::pair<int, char32_t>> bindings() const;
    bool hasBindings() const;
    // Records that every keycode is empty again; last uses are kept.
    void unbindAll();

private:
    struct SpareKey
    {
        int keycode = 0;
        char32_t character = 0; // 0 while unbound
        std::optional<Clock::time_point> lastUse;
    };

    SpareKey *find(int keycode);

    std::vector<SpareKey> m_keys;
};
