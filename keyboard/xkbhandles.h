#pragma once

#include <xkbcommon/xkbcommon.h>

#include <memory>

// libxkbcommon's objects, each released with its own unref.
struct XkbUnref
{
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
    void operator()(xkb_state *state) const { xkb_state_unref(state); }
};

using XkbContextHandle = std::unique_ptr<xkb_context, XkbUnref>;
using XkbKeymapHandle = std::unique_ptr<xkb_keymap, XkbUnref>;
using XkbStateHandle = std::unique_ptr<xkb_state, XkbUnref>;
