#pragma once

// C0 controls, DEL and C1 controls: characters that are never shown or typed
// as themselves.
constexpr bool isControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}
