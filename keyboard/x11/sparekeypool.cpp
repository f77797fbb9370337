#include "keyboard/x11/sparekeypool.h"

#include <algorithm>

void SpareKeyPool::reset(const std::vector<int> &keycodes, int levels, int groups)
{
    m_levels = std::max(levels, 1);
    m_groups = std::max(groups, 1);
    m_keycodes = keycodes;
    m_slots.clear();
    for (int group = 0; group < m_groups; ++group) {
        for (int keycode : keycodes) {
            for (int level = 0; level < m_levels; ++level)
                m_slots.push_back(Slot{SpareSlot{keycode, level, group}, 0});
        }
    }
}

std::optional<SpareSlot> SpareKeyPool::slotFor(char32_t c) const
{
    for (const Slot &slot : m_slots) {
        if (slot.character == c && c != 0)
            return slot.place;
    }
    return std::nullopt;
}

void SpareKeyPool::bind(SpareSlot place, char32_t c)
{
    for (Slot &slot : m_slots) {
        if (slot.place == place)
            slot.character = c;
    }
}

std::vector<char32_t> SpareKeyPool::charactersOn(int keycode) const
{
    std::vector<char32_t> result(size_t(m_groups * m_levels), 0);
    for (const Slot &slot : m_slots) {
        if (slot.place.keycode == keycode)
            result[size_t(slot.place.group) * size_t(m_levels) + size_t(slot.place.level)] = slot.character;
    }
    return result;
}

void SpareKeyPool::pin(SpareSlot place)
{
    for (Slot &slot : m_slots) {
        if (slot.place == place)
            slot.pinned = true;
    }
}

bool SpareKeyPool::pinned(SpareSlot place) const
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [&](const Slot &slot) { return slot.place == place && slot.pinned; });
}

std::vector<std::pair<SpareSlot, char32_t>> SpareKeyPool::rebindableSlots() const
{
    std::vector<std::pair<SpareSlot, char32_t>> result;
    for (const Slot &slot : m_slots) {
        if (!slot.pinned)
            result.emplace_back(slot.place, slot.character);
    }
    return result;
}

std::vector<std::pair<SpareSlot, char32_t>> SpareKeyPool::bindings() const
{
    std::vector<std::pair<SpareSlot, char32_t>> result;
    for (const Slot &slot : m_slots) {
        if (slot.character != 0)
            result.emplace_back(slot.place, slot.character);
    }
    return result;
}

bool SpareKeyPool::hasBindings() const
{
    return std::any_of(m_slots.begin(), m_slots.end(), [](const Slot &slot) { return slot.character != 0; });
}

void SpareKeyPool::unbindAll()
{
    for (Slot &slot : m_slots)
        slot = Slot{slot.place};
}

void SpareKeyPool::typed(size_t characters, Clock::time_point sent)
{
    m_receiverIdleAt =
        std::max(m_receiverIdleAt, sent) + std::chrono::duration_cast<Clock::duration>(ReceiverPace * characters);
}
