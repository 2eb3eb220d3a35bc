#pragma once

class QCoreApplication;

// Window captions reach the window manager as they are set. Qt's X11
// platform never leaves a title empty: it writes the application's name
// into the title the window manager shows (_NET_WM_NAME) when a window's
// caption is empty. With this in force an empty caption stays empty there
// too (WM_NAME and _NET_WM_NAME), whenever the window is shown or its caption
// changes. Other platforms are left as they are. TApplication installs it.
void KeepWindowCaptionsAsGiven(QCoreApplication *app);
