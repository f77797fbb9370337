#pragma once

#include <QString>

// Types text into the window that has the keyboard focus, as if the user had
// typed it. The text is typed literally: there is no key syntax.
class KeyInjector
{
public:
    virtual ~KeyInjector() = default;

    // Throws OperationError(TypingUnavailable) with a description a user can
    // act on, naming what was tried, when this backend cannot type here.
    virtual void checkAvailable() = 0;

    // Sends the keystrokes for keys and returns without waiting for the
    // receiving window to process them. Throws OperationError when typing is
    // impossible (no display, no XTEST, connection lost).
    virtual void type(const QString &keys) = 0;
};
