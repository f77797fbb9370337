#pragma once

#include <QMargins>

class QWidget;

// The frame and title bar that the window manager will put around a
// top-level window that is not shown yet, so that the window can be placed
// by its outer size before it appears, without a visible jump.
//
// Under X11, a window manager that offers _NET_REQUEST_FRAME_EXTENTS is asked
// for them: this creates the native window (unmapped) and waits at most a
// fifth of a second for the answer. Without such a window manager, on
// Wayland (where the compositor places windows) and offscreen, there are
// none.
QMargins expectedFrameMargins(QWidget &window);
