#pragma once

#include "keyinjector.h"

// Types text through the X11 XTEST extension on a connection of its own.
class XTestKeyInjector : public KeyInjector
{
public:
    XTestKeyInjector();
    ~XTestKeyInjector() override;

    void SendKeys(const QString &keys) override;
};
