#pragma once

#include "uHotkeyBackend.h"

#include <memory>

// The hotkeys of the X keyboard, over the application's own connection to the
// X server: null unless the application runs on the xcb platform.
std::unique_ptr<THotkeyBackend> CreateX11HotkeyBackend();
