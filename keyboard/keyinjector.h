#pragma once

#include <QString>

#include <string>

// Types text into the window that has the keyboard focus, as if the user had
// typed it. The text is typed literally: there is no key syntax.
class KeyInjector
{
public:
    virtual ~KeyInjector() = default;

    // Throws OperationError(TypingUnavailable) with a description a user can
    // act on, naming what was tried, when this backend cannot type here.
    virtual void checkAvailable() = 0;

    // Sends the keystrokes for keys, in order, and returns without waiting
    // for the receiving window to process them. A character this backend
    // cannot type here (the keyboard layout has no key for it, and the
    // backend no way to lend it one) is left out and the rest typed; the
    // characters left out are returned, each once, for the caller to name.
    // Throws OperationError when typing is impossible (no display server,
    // no way in, the connection lost).
    virtual std::u32string type(const QString &keys) = 0;
};
