#pragma once

#include "tests/support/environmentvariable.h"
#include "tests/support/helpers.h"

#include <QProcess>
#include <QTemporaryDir>

#include <optional>

// A headless Wayland compositor of the test's own: sway (wlroots, offers the
// virtual keyboard), optionally with Xwayland, or weston (does not offer it).
// Compositors refuse to run as root, so it runs as nobody, in a private
// runtime folder. While it lives, the test process's WAYLAND_DISPLAY (the
// socket's path) and DISPLAY point at it, so programs started from the test
// (bexlow, receivers) use it.
class WaylandDesktop
{
public:
    enum class Compositor { Sway, SwayWithXwayland, Weston };

    explicit WaylandDesktop(Compositor compositor);
    ~WaylandDesktop() { stopProcess(m_compositor); }
    // The process id of this compositor's Xwayland (0 if none).
    qint64 xwaylandPid() const;

private:
    QTemporaryDir m_runtime;
    QProcess m_compositor;
    std::optional<EnvironmentVariable> m_waylandDisplay, m_display;
};
