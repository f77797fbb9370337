#pragma once

#include <QString>
#include <QWidget>

#include <optional>

// What the X server holds for a window, read on a connection of the test's own.
namespace XWindowProperties {

QString title(WId window); // _NET_WM_NAME

struct SizeHints
{
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
};
std::optional<SizeHints> sizeHints(WId window);

// The functions a window manager should offer (_MOTIF_WM_HINTS).
struct Functions
{
    bool minimize = false, maximize = false, close = false;
};
std::optional<Functions> functions(WId window);

// Asks the window to close as a window manager's close button does.
void requestClose(WId window);

// The top-level windows with this title.
QList<WId> findByTitle(const QString &title);

} // namespace XWindowProperties
