#pragma once

#include "keyboard/x11/sparekeypool.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// A run of text typed as one batch: the characters from the start up to
// `end`, after binding `toBind` to the X server in one request.
struct SpareBatch
{
    size_t end = 0;
    std::vector<std::pair<SpareSlot, char32_t>> toBind;
};

// Plans the batch that types strokes from `from` on. onLayout[i] says whether
// strokes[i] has a key of its own in the layout. A character without one
// types from its slot in `pool`, or is given a slot when `mayBind` (the
// receiver is idle): an empty slot first, in the pool's order, else the one
// whose character is needed furthest ahead, never a pinned one nor one used
// earlier in the batch. The batch ends
// before the first character that gets no slot.
SpareBatch planSpareBatch(const std::u32string &strokes, size_t from, const std::vector<bool> &onLayout,
                          const SpareKeyPool &pool, bool mayBind);
