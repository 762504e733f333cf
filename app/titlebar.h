#pragma once

class QWidget;

// Title bars drawn by the game itself, for native Wayland. There the client draws its own
// title bar, and Qt 6.4's offers a maximise button on every window, whatever its flags and
// even when its size is fixed; pressing it breaks the game (under weston the compositor
// ends the connection, as the window cannot take the maximised size). A frameless window
// with this bar instead keeps what the X11 window has: the icon, the title, the minimise
// button where the window's flags ask for one, the close button, and moving by dragging.

// Whether Qt runs as a native Wayland client. Only then is the game's own bar needed.
bool drawsOwnTitleBars();

// Gives a top-level window that is not yet shown the game's bar above its contents: the
// window becomes frameless and its contents move down by the bar's height.
void addTitleBar(QWidget* window);

// addTitleBar where drawsOwnTitleBars(); elsewhere the window system's bar stays.
void addTitleBarWhereNeeded(QWidget* window);
