#pragma once

#include "app/backendchoice.h"

#include <QString>

#include <memory>

class KeyInjector;
class SettingsStore;

// The one place that names the keyboard backends: makes the one this
// session types with (BackendChoice) and checks that it can type.
namespace KeyboardBackend {

struct Made
{
    std::unique_ptr<KeyInjector> injector;
    // Why typing is impossible, naming every backend tried; empty when it works.
    QString unavailable;
};

// The store gives the user's choice and keeps what the portal grants.
Made make(SettingsStore &store);

// The injector of one backend, not yet checked.
std::unique_ptr<KeyInjector> makeFor(BackendChoice::Backend backend, SettingsStore &store);

} // namespace KeyboardBackend
