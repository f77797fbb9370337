#include "keyboard/sparekeypool.h"

#include <algorithm>
#include <tuple>

namespace {

bool contains(const std::vector<int> &keycodes, int keycode)
{
    return std::find(keycodes.begin(), keycodes.end(), keycode) != keycodes.end();
}

} // namespace

void SpareKeyPool::reset(const std::vector<int> &keycodes)
{
    m_keys.clear();
    for (int keycode : keycodes)
        m_keys.push_back(SpareKey{keycode, 0, std::nullopt});
}

std::vector<int> SpareKeyPool::keycodes() const
{
    std::vector<int> result;
    for (const SpareKey &key : m_keys)
        result.push_back(key.keycode);
    return result;
}

std::optional<int> SpareKeyPool::keyFor(char32_t c) const
{
    for (const SpareKey &key : m_keys) {
        if (key.character == c && c != 0)
            return key.keycode;
    }
    return std::nullopt;
}

std::optional<int> SpareKeyPool::freeKey(Clock::time_point now, const std::vector<int> &taken,
                                         const NextUse &nextUse) const
{
    // Smaller ranks first: unbound, then needed furthest ahead, then never
    // used, then used longest ago.
    auto rank = [&nextUse](const SpareKey &key) {
        const size_t ahead = key.character != 0 && nextUse ? nextUse(key.character) : NotNeeded;
        return std::make_tuple(key.character != 0, NotNeeded - ahead, key.lastUse.has_value(),
                               key.lastUse.value_or(Clock::time_point{}));
    };
    const SpareKey *best = nullptr;
    for (const SpareKey &key : m_keys) {
        if (contains(taken, key.keycode))
            continue;
        if (key.lastUse && now - *key.lastUse < ReuseGap)
            continue;
        if (!best || rank(key) < rank(*best))
            best = &key;
    }
    if (!best)
        return std::nullopt;
    return best->keycode;
}

std::optional<SpareKeyPool::Clock::time_point> SpareKeyPool::nextFreeAt(const std::vector<int> &taken) const
{
    std::optional<Clock::time_point> earliest;
    for (const SpareKey &key : m_keys) {
        if (contains(taken, key.keycode))
            continue;
        const Clock::time_point freeAt = key.lastUse ? *key.lastUse + ReuseGap : Clock::time_point{};
        if (!earliest || freeAt < *earliest)
            earliest = freeAt;
    }
    return earliest;
}

void SpareKeyPool::bind(int keycode, char32_t c)
{
    if (SpareKey *key = find(keycode))
        key->character = c;
}

void SpareKeyPool::markUsed(int keycode, Clock::time_point when)
{
    if (SpareKey *key = find(keycode))
        key->lastUse = when;
}

std::vector<std::pair<int, char32_t>> SpareKeyPool::bindings() const
{
    std::vector<std::pair<int, char32_t>> result;
    for (const SpareKey &key : m_keys) {
        if (key.character != 0)
            result.emplace_back(key.keycode, key.character);
    }
    return result;
}

bool SpareKeyPool::hasBindings() const
{
    return std::any_of(m_keys.begin(), m_keys.end(), [](const SpareKey &key) { return key.character != 0; });
}

void SpareKeyPool::unbindAll()
{
    for (SpareKey &key : m_keys)
        key.character = 0;
}

SpareKeyPool::SpareKey *SpareKeyPool::find(int keycode)
{
    auto it =
        std::find_if(m_keys.begin(), m_keys.end(), [keycode](const SpareKey &key) { return key.keycode == keycode; });
    return it == m_keys.end() ? nullptr : &*it;
}
