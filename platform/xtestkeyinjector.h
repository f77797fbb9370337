#pragma once

#include "keyinjector.h"

// Types text through the X11 XTEST extension on a connection of its own.
class XTestKeyInjector : public KeyInjector
{
public:
    XTestKeyInjector();
    ~XTestKeyInjector() override;

    // Throws OperationError with a description a user can act on when typing
    // is impossible here (no X display, no XTEST extension).
    void checkAvailable();

    void SendKeys(const QString &keys) override;
};
