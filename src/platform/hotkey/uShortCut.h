#pragma once

#include <QFlags>
#include <QString>

// Menu shortcuts and hotkeys as 16-bit values: the virtual-key code in the low
// 13 bits, and one flag each for Shift, Ctrl and Alt. 0 means no key.
using TShortCut = quint16;

constexpr TShortCut scKeyMask = 0x1FFF;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

enum TShiftStateFlag : unsigned {
  ssShift = 0x1,
  ssAlt = 0x2,
  ssCtrl = 0x4,
};
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

// The modifier flags of a system-wide hotkey registration.
enum : unsigned {
  MOD_ALT = 0x1,
  MOD_CONTROL = 0x2,
  MOD_SHIFT = 0x4,
};

// Virtual-key codes: the keyboard's keys independent of the layout's symbols
// (letters and digits are their upper-case ASCII codes).
enum : unsigned {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_CLEAR = 0x0C,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_SELECT = 0x29,
  VK_PRINT = 0x2A,
  VK_EXECUTE = 0x2B,
  VK_SNAPSHOT = 0x2C,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_HELP = 0x2F,
  VK_0 = 0x30, // to VK_9 = 0x39
  VK_A = 0x41, // to VK_Z = 0x5A
  VK_LWIN = 0x5B,
  VK_RWIN = 0x5C,
  VK_APPS = 0x5D,
  VK_SLEEP = 0x5F,
  VK_NUMPAD0 = 0x60, // to VK_NUMPAD9 = 0x69
  VK_MULTIPLY = 0x6A,
  VK_ADD = 0x6B,
  VK_SEPARATOR = 0x6C,
  VK_SUBTRACT = 0x6D,
  VK_DECIMAL = 0x6E,
  VK_DIVIDE = 0x6F,
  VK_F1 = 0x70, // to VK_F24 = 0x87
  VK_F24 = 0x87,
  VK_NUMLOCK = 0x90,
  VK_SCROLL = 0x91,
  VK_LSHIFT = 0xA0,
  VK_RSHIFT = 0xA1,
  VK_LCONTROL = 0xA2,
  VK_RCONTROL = 0xA3,
  VK_LMENU = 0xA4,
  VK_RMENU = 0xA5,
  VK_BROWSER_BACK = 0xA6,
  VK_BROWSER_FORWARD = 0xA7,
  VK_BROWSER_REFRESH = 0xA8,
  VK_BROWSER_STOP = 0xA9,
  VK_BROWSER_SEARCH = 0xAA,
  VK_BROWSER_FAVORITES = 0xAB,
  VK_BROWSER_HOME = 0xAC,
  VK_VOLUME_MUTE = 0xAD,
  VK_VOLUME_DOWN = 0xAE,
  VK_VOLUME_UP = 0xAF,
  VK_MEDIA_NEXT_TRACK = 0xB0,
  VK_MEDIA_PREV_TRACK = 0xB1,
  VK_MEDIA_STOP = 0xB2,
  VK_MEDIA_PLAY_PAUSE = 0xB3,
  VK_LAUNCH_MAIL = 0xB4,
  VK_LAUNCH_MEDIA_SELECT = 0xB5,
  VK_LAUNCH_APP1 = 0xB6,
  VK_LAUNCH_APP2 = 0xB7,
  VK_OEM_1 = 0xBA,      // ;:
  VK_OEM_PLUS = 0xBB,   // =+
  VK_OEM_COMMA = 0xBC,  // ,<
  VK_OEM_MINUS = 0xBD,  // -_
  VK_OEM_PERIOD = 0xBE, // .>
  VK_OEM_2 = 0xBF,      // /?
  VK_OEM_3 = 0xC0,      // `~
  VK_OEM_4 = 0xDB,      // [{
  VK_OEM_5 = 0xDC,      // \|
  VK_OEM_6 = 0xDD,      // ]}
  VK_OEM_7 = 0xDE,      // '"
  VK_OEM_102 = 0xE2,    // the extra key of 102-key keyboards, <>
};

// A shortcut from a key code and a shift state.
TShortCut ShortCut(unsigned key, TShiftState shift);
// Splits a shortcut into its key code (low 13 bits) and its shift state.
void ShortCutToKey(TShortCut shortCut, unsigned &key, TShiftState &shift);

// The name of a key code as the hotkey texts write it: "BkSp", "Tab",
// "Enter", "Esc", "Space", "PgUp", "PgDn", "End", "Home", "Left", "Up",
// "Right", "Down", "Ins", "Del", the digits and capital letters themselves
// (keypad digits too), "F1" to "F24", and a name of our own for the other keys
// we know; empty for a code without a name.
QString KeyName(unsigned key);

// "Shift+", "Ctrl+", "Alt+" in this order, then the key's name, as "Ctrl+F2".
// Empty for 0 and for a key without a name (prefixes included).
QString ShortCutToText(TShortCut shortCut);

// Reads a hotkey text: the prefixes "Shift+", "Ctrl+", "Alt+" in any order and
// case, "^" standing for "Ctrl+", then a key name compared without regard to
// case with the names of the key codes from 8 upward; the first code whose
// name matches wins (so a keypad digit reads as the digit of the main row).
// A text that names no key gives 0.
TShortCut TextToShortCut(const QString &text);

// What a hotkey edit makes of a key pressed with modifiers: a key alone or
// with Shift alone is no valid hotkey and takes Alt alone instead (F2 and
// Shift+F2 both become Alt+F2). 0 for no key and for a key without a name.
TShortCut HotKeyOfKeyPress(unsigned key, TShiftState shift);

// The modifier flags of a hotkey registration for a shift state:
// Shift 4, Ctrl 2, Alt 1.
unsigned ShiftToModifiers(TShiftState shift);
