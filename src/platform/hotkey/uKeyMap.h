#pragma once

#include <Qt>
#include <cstdint>

class QKeyEvent;

// Between virtual-key codes (uShortCut.h) and the X keyboard's keysyms and
// Qt's key codes. The punctuation keys follow the US layout.

// The keysym that a system-wide grab of the key uses (lower-case letters,
// the keypad's digit keysyms); 0 for a code without one.
uint32_t VirtualKeyToKeysym(unsigned key);
// The key code of a keysym, shifted symbols of the US layout and the keypad's
// navigation keysyms included; 0 when none.
unsigned KeysymToVirtualKey(uint32_t keysym);

// Shift, Ctrl, Alt, AltGr and the Meta, Super and Hyper keys: they make a
// combination but are no key of it.
bool IsModifierKey(int qtKey);
// The key code of a Qt key; the keypad modifier selects the keypad's keys.
// 0 for modifiers and keys without a code.
unsigned QtKeyToVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The key code of a key press: on the X keyboard the key of the pressed
// keycode whatever Shift makes of it (Shift+1 is the key 1), otherwise, or
// for the keypad, from the Qt key. 0 for modifiers and unknown keys.
unsigned VirtualKeyOfKeyEvent(const QKeyEvent &event);
