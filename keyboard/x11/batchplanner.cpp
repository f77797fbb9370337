#include "keyboard/x11/batchplanner.h"

#include <algorithm>
#include <optional>
#include <tuple>

SpareBatch planSpareBatch(const std::u32string &strokes, size_t from, const std::vector<bool> &onLayout,
                          const SpareKeyPool &pool, bool mayBind)
{
    SpareKeyPool planned = pool;
    std::vector<SpareSlot> used;
    SpareBatch batch;
    const auto isUsed = [&used](const SpareSlot &slot) {
        return std::find(used.begin(), used.end(), slot) != used.end();
    };
    // How far after `at` character c is typed next; npos when never.
    const auto nextUse = [&strokes](char32_t c, size_t at) { return strokes.find(c, at); };

    for (batch.end = from; batch.end < strokes.size(); ++batch.end) {
        if (onLayout[batch.end])
            continue;
        const char32_t c = strokes[batch.end];
        std::optional<SpareSlot> slot = planned.slotFor(c);
        if (!slot && mayBind) {
            // Smaller ranks first: empty, then needed furthest ahead.
            std::optional<std::tuple<bool, size_t>> bestRank;
            for (const auto &[candidate, old] : planned.rebindableSlots()) {
                if (isUsed(candidate))
                    continue;
                const size_t ahead = old == 0 ? std::u32string::npos : nextUse(old, batch.end);
                const auto rank = std::make_tuple(old != 0, std::u32string::npos - ahead);
                if (!bestRank || rank < *bestRank) {
                    bestRank = rank;
                    slot = candidate;
                }
            }
            if (slot) {
                planned.bind(*slot, c);
                batch.toBind.emplace_back(*slot, c);
            }
        }
        if (!slot)
            break;
        if (!isUsed(*slot))
            used.push_back(*slot);
    }
    return batch;
}
