#pragma once

#include <optional>
#include <utility>

class WaylandConnection;

// The version (major, minor) of the KWin that connection is talking to, as
// KWin tells it on the session bus (org.kde.KWin's supportInformation);
// none where KWin does not answer there, or the one that answers is
// another process than the compositor at the other end of connection.
std::optional<std::pair<int, int>> kwinVersion(const WaylandConnection &connection);
