#pragma once

#include <optional>
#include <utility>

class WaylandConnection;

// The version (major, minor) of the sway that connection is talking to,
// asked over sway's IPC socket ($SWAYSOCK); none where that socket is
// absent, does not answer, or belongs to another process than the
// compositor at the other end of connection.
std::optional<std::pair<int, int>> swayVersion(const WaylandConnection &connection);
