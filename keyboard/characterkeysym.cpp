#include "keyboard/characterkeysym.h"

#include <xkbcommon/xkbcommon.h>

namespace CharacterKeysym {

uint32_t of(char32_t c)
{
    if (c < 0x20 || c == 0x7f)
        return xkb_utf32_to_keysym(c);
    if (c <= 0xff)
        return c;
    return 0x1000000 + c;
}

} // namespace CharacterKeysym
