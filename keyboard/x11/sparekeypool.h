#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

// A place for one character that the layout lacks: a keycode the layout
// leaves empty, one of its levels (0 plain, 1 Shift, 2 AltGr, 3 both) and
// one of its groups (0 to 3).
struct SpareSlot
{
    int keycode = 0;
    int level = 0;
    int group = 0;
    bool operator==(const SpareSlot &other) const
    {
        return keycode == other.keycode && level == other.level && group == other.group;
    }
};

// The slots of the spare keycodes and the characters lent to them, and how
// far the receiver of the typed keys may be behind.
//
// A receiver looks a keycode up when it processes the key event, with the
// keymap it holds at that moment, and no X event tells when that is: a
// browser may be seconds behind, and may even reload the keymap only a
// little after the event that follows a change. So a character keeps its
// slot while typing goes on, and slots change meaning only while the
// receiver is assumed idle: once every key sent so far would have been
// processed at ReceiverPace per character (receiverIdleAt()). A pinned slot
// never changes meaning again until the pool starts over (pin()). Only the
// bookkeeping lives here; binding a keycode in the X server is the caller's
// business.
class SpareKeyPool
{
public:
    using Clock = std::chrono::steady_clock;
    // The slowest receiver allowed for: a browser on a loaded machine takes
    // up to about 2.5 ms a character; twice that, to be safe.
    static constexpr std::chrono::microseconds ReceiverPace{5000};

    // Starts over with these keycodes and `levels` slots in each of `groups`
    // groups on each, none bound. Slots come group by group: every keycode's
    // first group before any second one.
    void reset(const std::vector<int> &keycodes, int levels, int groups = 1);

    int size() const { return int(m_slots.size()); }
    int levels() const { return m_levels; }
    std::vector<int> keycodes() const { return m_keycodes; }

    // The slot that holds character c, if one does.
    std::optional<SpareSlot> slotFor(char32_t c) const;
    // Records that slot now holds character c (0: nothing).
    void bind(SpareSlot slot, char32_t c);
    // The characters on each level of keycode, group after group (0 where
    // none).
    std::vector<char32_t> charactersOn(int keycode) const;

    // Keeps the character slot holds now for as long as the pool lives: for
    // a receiver that reads a key's character at an unknown time after the
    // key, however late.
    void pin(SpareSlot slot);
    bool pinned(SpareSlot slot) const;
    // Every slot that may take another character, in order, and the
    // character it holds (0: none): all but the pinned ones.
    std::vector<std::pair<SpareSlot, char32_t>> rebindableSlots() const;
    // The slots that hold a character, and which.
    std::vector<std::pair<SpareSlot, char32_t>> bindings() const;
    bool hasBindings() const;
    // Records that every slot is empty again, and none pinned.
    void unbindAll();

    // Records that `characters` keys were sent at `sent`.
    void typed(size_t characters, Clock::time_point sent);
    // When a receiver at ReceiverPace would have processed all keys sent.
    Clock::time_point receiverIdleAt() const { return m_receiverIdleAt; }

private:
    struct Slot
    {
        SpareSlot place;
        char32_t character = 0; // 0 while empty
        bool pinned = false;
    };

    std::vector<Slot> m_slots;
    std::vector<int> m_keycodes;
    int m_levels = 1;
    int m_groups = 1;
    Clock::time_point m_receiverIdleAt{};
};
