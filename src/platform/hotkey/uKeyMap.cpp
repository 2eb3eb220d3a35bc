#include "uKeyMap.h"

#include "uShortCut.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

struct TKeysymEntry {
  unsigned Key;
  uint32_t Keysym;
};

// One keysym per key code, the one a grab uses.
constexpr TKeysymEntry KeysymOfKey[] = {
    {VK_BACK, XKB_KEY_BackSpace},
    {VK_TAB, XKB_KEY_Tab},
    {VK_CLEAR, XKB_KEY_Clear},
    {VK_RETURN, XKB_KEY_Return},
    {VK_PAUSE, XKB_KEY_Pause},
    {VK_CAPITAL, XKB_KEY_Caps_Lock},
    {VK_ESCAPE, XKB_KEY_Escape},
    {VK_SPACE, XKB_KEY_space},
    {VK_PRIOR, XKB_KEY_Prior},
    {VK_NEXT, XKB_KEY_Next},
    {VK_END, XKB_KEY_End},
    {VK_HOME, XKB_KEY_Home},
    {VK_LEFT, XKB_KEY_Left},
    {VK_UP, XKB_KEY_Up},
    {VK_RIGHT, XKB_KEY_Right},
    {VK_DOWN, XKB_KEY_Down},
    {VK_SELECT, XKB_KEY_Select},
    {VK_EXECUTE, XKB_KEY_Execute},
    {VK_SNAPSHOT, XKB_KEY_Print},
    {VK_INSERT, XKB_KEY_Insert},
    {VK_DELETE, XKB_KEY_Delete},
    {VK_HELP, XKB_KEY_Help},
    {VK_LWIN, XKB_KEY_Super_L},
    {VK_RWIN, XKB_KEY_Super_R},
    {VK_APPS, XKB_KEY_Menu},
    {VK_SLEEP, XKB_KEY_XF86Sleep},
    {VK_MULTIPLY, XKB_KEY_KP_Multiply},
    {VK_ADD, XKB_KEY_KP_Add},
    {VK_SEPARATOR, XKB_KEY_KP_Separator},
    {VK_SUBTRACT, XKB_KEY_KP_Subtract},
    {VK_DECIMAL, XKB_KEY_KP_Decimal},
    {VK_DIVIDE, XKB_KEY_KP_Divide},
    {VK_NUMLOCK, XKB_KEY_Num_Lock},
    {VK_SCROLL, XKB_KEY_Scroll_Lock},
    {VK_BROWSER_BACK, XKB_KEY_XF86Back},
    {VK_BROWSER_FORWARD, XKB_KEY_XF86Forward},
    {VK_BROWSER_REFRESH, XKB_KEY_XF86Refresh},
    {VK_BROWSER_STOP, XKB_KEY_XF86Stop},
    {VK_BROWSER_SEARCH, XKB_KEY_XF86Search},
    {VK_BROWSER_FAVORITES, XKB_KEY_XF86Favorites},
    {VK_BROWSER_HOME, XKB_KEY_XF86HomePage},
    {VK_VOLUME_MUTE, XKB_KEY_XF86AudioMute},
    {VK_VOLUME_DOWN, XKB_KEY_XF86AudioLowerVolume},
    {VK_VOLUME_UP, XKB_KEY_XF86AudioRaiseVolume},
    {VK_MEDIA_NEXT_TRACK, XKB_KEY_XF86AudioNext},
    {VK_MEDIA_PREV_TRACK, XKB_KEY_XF86AudioPrev},
    {VK_MEDIA_STOP, XKB_KEY_XF86AudioStop},
    {VK_MEDIA_PLAY_PAUSE, XKB_KEY_XF86AudioPlay},
    {VK_LAUNCH_MAIL, XKB_KEY_XF86Mail},
    {VK_LAUNCH_MEDIA_SELECT, XKB_KEY_XF86AudioMedia},
    {VK_LAUNCH_APP1, XKB_KEY_XF86MyComputer},
    {VK_LAUNCH_APP2, XKB_KEY_XF86Calculator},
    {VK_OEM_1, XKB_KEY_semicolon},
    {VK_OEM_PLUS, XKB_KEY_equal},
    {VK_OEM_COMMA, XKB_KEY_comma},
    {VK_OEM_MINUS, XKB_KEY_minus},
    {VK_OEM_PERIOD, XKB_KEY_period},
    {VK_OEM_2, XKB_KEY_slash},
    {VK_OEM_3, XKB_KEY_grave},
    {VK_OEM_4, XKB_KEY_bracketleft},
    {VK_OEM_5, XKB_KEY_backslash},
    {VK_OEM_6, XKB_KEY_bracketright},
    {VK_OEM_7, XKB_KEY_apostrophe},
    {VK_OEM_102, XKB_KEY_less},
};

// Further keysyms that stand for a key: what Shift, Num Lock off or another
// keycode make of it.
constexpr TKeysymEntry MoreKeysyms[] = {
    {VK_TAB, XKB_KEY_ISO_Left_Tab},   {VK_RETURN, XKB_KEY_KP_Enter},
    {VK_SPACE, XKB_KEY_KP_Space},     {VK_TAB, XKB_KEY_KP_Tab},
    {VK_HOME, XKB_KEY_KP_Home},       {VK_LEFT, XKB_KEY_KP_Left},
    {VK_UP, XKB_KEY_KP_Up},           {VK_RIGHT, XKB_KEY_KP_Right},
    {VK_DOWN, XKB_KEY_KP_Down},       {VK_PRIOR, XKB_KEY_KP_Prior},
    {VK_NEXT, XKB_KEY_KP_Next},       {VK_END, XKB_KEY_KP_End},
    {VK_CLEAR, XKB_KEY_KP_Begin},     {VK_INSERT, XKB_KEY_KP_Insert},
    {VK_DELETE, XKB_KEY_KP_Delete},   {VK_PAUSE, XKB_KEY_Break},
    {VK_SNAPSHOT, XKB_KEY_Sys_Req},   {VK_OEM_1, XKB_KEY_colon},
    {VK_OEM_PLUS, XKB_KEY_plus},      {VK_OEM_MINUS, XKB_KEY_underscore},
    {VK_OEM_PERIOD, XKB_KEY_greater}, {VK_OEM_2, XKB_KEY_question},
    {VK_OEM_3, XKB_KEY_asciitilde},   {VK_OEM_4, XKB_KEY_braceleft},
    {VK_OEM_5, XKB_KEY_bar},          {VK_OEM_6, XKB_KEY_braceright},
    {VK_OEM_7, XKB_KEY_quotedbl},     {VK_0 + 1, XKB_KEY_exclam},
    {VK_0 + 2, XKB_KEY_at},           {VK_0 + 3, XKB_KEY_numbersign},
    {VK_0 + 4, XKB_KEY_dollar},       {VK_0 + 5, XKB_KEY_percent},
    {VK_0 + 6, XKB_KEY_asciicircum},  {VK_0 + 7, XKB_KEY_ampersand},
    {VK_0 + 8, XKB_KEY_asterisk},     {VK_0 + 9, XKB_KEY_parenleft},
    {VK_0, XKB_KEY_parenright},
};

struct TQtKeyEntry {
  int QtKey;
  unsigned Key;
};

constexpr TQtKeyEntry KeyOfQtKey[] = {
    {Qt::Key_Backspace, VK_BACK},
    {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Clear, VK_CLEAR},
    {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL},
    {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Select, VK_SELECT},
    {Qt::Key_Execute, VK_EXECUTE},
    {Qt::Key_Print, VK_SNAPSHOT},
    {Qt::Key_SysReq, VK_SNAPSHOT},
    {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Help, VK_HELP},
    {Qt::Key_Menu, VK_APPS},
    {Qt::Key_Sleep, VK_SLEEP},
    {Qt::Key_NumLock, VK_NUMLOCK},
    {Qt::Key_ScrollLock, VK_SCROLL},
    {Qt::Key_Back, VK_BROWSER_BACK},
    {Qt::Key_Forward, VK_BROWSER_FORWARD},
    {Qt::Key_Refresh, VK_BROWSER_REFRESH},
    {Qt::Key_Stop, VK_BROWSER_STOP},
    {Qt::Key_Search, VK_BROWSER_SEARCH},
    {Qt::Key_Favorites, VK_BROWSER_FAVORITES},
    {Qt::Key_HomePage, VK_BROWSER_HOME},
    {Qt::Key_VolumeMute, VK_VOLUME_MUTE},
    {Qt::Key_VolumeDown, VK_VOLUME_DOWN},
    {Qt::Key_VolumeUp, VK_VOLUME_UP},
    {Qt::Key_MediaNext, VK_MEDIA_NEXT_TRACK},
    {Qt::Key_MediaPrevious, VK_MEDIA_PREV_TRACK},
    {Qt::Key_MediaStop, VK_MEDIA_STOP},
    {Qt::Key_MediaPlay, VK_MEDIA_PLAY_PAUSE},
    {Qt::Key_MediaTogglePlayPause, VK_MEDIA_PLAY_PAUSE},
    {Qt::Key_LaunchMail, VK_LAUNCH_MAIL},
    {Qt::Key_LaunchMedia, VK_LAUNCH_MEDIA_SELECT},
    {Qt::Key_Launch0, VK_LAUNCH_APP1},
    {Qt::Key_Calculator, VK_LAUNCH_APP2},
    {Qt::Key_Semicolon, VK_OEM_1},
    {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Minus, VK_OEM_MINUS},
    {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD},
    {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Slash, VK_OEM_2},
    {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
    {Qt::Key_Exclam, VK_0 + 1},
    {Qt::Key_At, VK_0 + 2},
    {Qt::Key_NumberSign, VK_0 + 3},
    {Qt::Key_Dollar, VK_0 + 4},
    {Qt::Key_Percent, VK_0 + 5},
    {Qt::Key_AsciiCircum, VK_0 + 6},
    {Qt::Key_Ampersand, VK_0 + 7},
    {Qt::Key_Asterisk, VK_0 + 8},
    {Qt::Key_ParenLeft, VK_0 + 9},
    {Qt::Key_ParenRight, VK_0},
};

// The keys of the keypad that differ from those of the main block.
constexpr TQtKeyEntry KeypadKeyOfQtKey[] = {
    {Qt::Key_Asterisk, VK_MULTIPLY}, {Qt::Key_Plus, VK_ADD},       {Qt::Key_Comma, VK_SEPARATOR},
    {Qt::Key_Minus, VK_SUBTRACT},    {Qt::Key_Period, VK_DECIMAL}, {Qt::Key_Slash, VK_DIVIDE},
};

unsigned mainKeyOfQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
    return VK_0 + unsigned(qtKey - Qt::Key_0);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
    return VK_A + unsigned(qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
    return VK_F1 + unsigned(qtKey - Qt::Key_F1);
  if (qtKey == Qt::Key_Less) // Shift with the comma key, or the extra key of 102-key keyboards
    return (modifiers & Qt::ShiftModifier) ? unsigned(VK_OEM_COMMA) : unsigned(VK_OEM_102);
  for (const TQtKeyEntry &e : KeyOfQtKey)
    if (e.QtKey == qtKey)
      return e.Key;
  return 0;
}

// The keysym of a keycode without any modifier; 0 when not on the X keyboard.
uint32_t plainKeysymOfKeycode(quint32 keycode) {
  if (keycode == 0 || keycode > 255 || QGuiApplication::platformName() != QLatin1String("xcb"))
    return 0;
  auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
  if (!connection)
    return 0;
  xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(connection);
  if (!symbols)
    return 0;
  const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols, static_cast<xcb_keycode_t>(keycode), 0);
  xcb_key_symbols_free(symbols);
  return keysym;
}

} // namespace

uint32_t VirtualKeyToKeysym(unsigned key) {
  if (key >= VK_0 && key <= VK_0 + 9)
    return XKB_KEY_0 + (key - VK_0);
  if (key >= VK_A && key <= VK_A + 25)
    return XKB_KEY_a + (key - VK_A);
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9)
    return XKB_KEY_KP_0 + (key - VK_NUMPAD0);
  if (key >= VK_F1 && key <= VK_F24)
    return XKB_KEY_F1 + (key - VK_F1);
  for (const TKeysymEntry &e : KeysymOfKey)
    if (e.Key == key)
      return e.Keysym;
  return 0;
}

unsigned KeysymToVirtualKey(uint32_t keysym) {
  if (keysym >= XKB_KEY_0 && keysym <= XKB_KEY_9)
    return VK_0 + (keysym - XKB_KEY_0);
  if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z)
    return VK_A + (keysym - XKB_KEY_a);
  if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z)
    return VK_A + (keysym - XKB_KEY_A);
  if (keysym >= XKB_KEY_KP_0 && keysym <= XKB_KEY_KP_9)
    return VK_NUMPAD0 + (keysym - XKB_KEY_KP_0);
  if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F24)
    return VK_F1 + (keysym - XKB_KEY_F1);
  for (const TKeysymEntry &e : KeysymOfKey)
    if (e.Keysym == keysym)
      return e.Key;
  for (const TKeysymEntry &e : MoreKeysyms)
    if (e.Keysym == keysym)
      return e.Key;
  return 0;
}

bool IsModifierKey(int qtKey) {
  switch (qtKey) {
  case Qt::Key_Shift:
  case Qt::Key_Control:
  case Qt::Key_Alt:
  case Qt::Key_AltGr:
  case Qt::Key_Meta:
  case Qt::Key_Super_L:
  case Qt::Key_Super_R:
  case Qt::Key_Hyper_L:
  case Qt::Key_Hyper_R:
    return true;
  default:
    return false;
  }
}

unsigned QtKeyToVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (IsModifierKey(qtKey))
    return 0;
  if (modifiers & Qt::KeypadModifier) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
      return VK_NUMPAD0 + unsigned(qtKey - Qt::Key_0);
    for (const TQtKeyEntry &e : KeypadKeyOfQtKey)
      if (e.QtKey == qtKey)
        return e.Key;
  }
  return mainKeyOfQtKey(qtKey, modifiers);
}

unsigned VirtualKeyOfKeyEvent(const QKeyEvent &event) {
  if (IsModifierKey(event.key()))
    return 0;
  if (!(event.modifiers() & Qt::KeypadModifier))
    if (const unsigned key = KeysymToVirtualKey(plainKeysymOfKeycode(event.nativeScanCode())))
      return key;
  return QtKeyToVirtualKey(event.key(), event.modifiers());
}
