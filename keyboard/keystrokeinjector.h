#pragma once

#include "keyboard/keyinjector.h"
#include "keyboard/typedtext.h"

#include <string>

// What every backend that presses keys itself shares: the text becomes
// keystrokes (TypedText), the connection is made or checked before a text
// (checkAvailable), and a text that fails gives up its connection, so that
// the next text starts on a new one.
class KeystrokeInjector : public KeyInjector
{
public:
    std::u32string type(const QString &keys) final;

protected:
    // Types strokes, never empty, once checkAvailable() has passed; returns
    // the characters left out, each once.
    virtual std::u32string typeStrokes(const std::u32string &strokes) = 0;
    // After a text failed: lets go of the connection where it cannot serve
    // the next text, which then makes a new one.
    virtual void giveUpConnection() = 0;

private:
    TypedText m_text;
};
