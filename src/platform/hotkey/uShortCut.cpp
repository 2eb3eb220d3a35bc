#include "uShortCut.h"

#include <array>

namespace {

// The names of the keys outside the fixed list, as a US keyboard labels them.
struct TKeyNameEntry {
  unsigned Key;
  const char *Name;
};
constexpr TKeyNameEntry OtherKeyNames[] = {
    {VK_CLEAR, "Clear"},
    {VK_PAUSE, "Pause"},
    {VK_CAPITAL, "Caps Lock"},
    {VK_SELECT, "Select"},
    {VK_EXECUTE, "Execute"},
    {VK_SNAPSHOT, "Print Screen"},
    {VK_HELP, "Help"},
    {VK_LWIN, "Left Win"},
    {VK_RWIN, "Right Win"},
    {VK_APPS, "Menu"},
    {VK_SLEEP, "Sleep"},
    {VK_MULTIPLY, "Num *"},
    {VK_ADD, "Num +"},
    {VK_SEPARATOR, "Num ,"},
    {VK_SUBTRACT, "Num -"},
    {VK_DECIMAL, "Num ."},
    {VK_DIVIDE, "Num /"},
    {VK_NUMLOCK, "Num Lock"},
    {VK_SCROLL, "Scroll Lock"},
    {VK_BROWSER_BACK, "Browser Back"},
    {VK_BROWSER_FORWARD, "Browser Forward"},
    {VK_BROWSER_REFRESH, "Browser Refresh"},
    {VK_BROWSER_STOP, "Browser Stop"},
    {VK_BROWSER_SEARCH, "Browser Search"},
    {VK_BROWSER_FAVORITES, "Browser Favorites"},
    {VK_BROWSER_HOME, "Browser Home"},
    {VK_VOLUME_MUTE, "Volume Mute"},
    {VK_VOLUME_DOWN, "Volume Down"},
    {VK_VOLUME_UP, "Volume Up"},
    {VK_MEDIA_NEXT_TRACK, "Next Track"},
    {VK_MEDIA_PREV_TRACK, "Previous Track"},
    {VK_MEDIA_STOP, "Stop Media"},
    {VK_MEDIA_PLAY_PAUSE, "Play/Pause Media"},
    {VK_LAUNCH_MAIL, "Mail"},
    {VK_LAUNCH_MEDIA_SELECT, "Media"},
    {VK_LAUNCH_APP1, "My Computer"},
    {VK_LAUNCH_APP2, "Calculator"},
    {VK_OEM_1, ";"},
    {VK_OEM_PLUS, "="},
    {VK_OEM_COMMA, ","},
    {VK_OEM_MINUS, "-"},
    {VK_OEM_PERIOD, "."},
    {VK_OEM_2, "/"},
    {VK_OEM_3, "`"},
    {VK_OEM_4, "["},
    {VK_OEM_5, "\\"},
    {VK_OEM_6, "]"},
    {VK_OEM_7, "'"},
    {VK_OEM_102, "<"},
};

using TNameTable = std::array<QString, 256>;

TNameTable buildNames() {
  TNameTable names;
  names[VK_BACK] = QStringLiteral("BkSp");
  names[VK_TAB] = QStringLiteral("Tab");
  names[VK_RETURN] = QStringLiteral("Enter");
  names[VK_ESCAPE] = QStringLiteral("Esc");
  const char *const navigation[] = {"Space", "PgUp", "PgDn", "End", "Home", "Left", "Up", "Right", "Down"};
  for (unsigned i = 0; i < std::size(navigation); ++i)
    names[VK_SPACE + i] = QString::fromLatin1(navigation[i]);
  names[VK_INSERT] = QStringLiteral("Ins");
  names[VK_DELETE] = QStringLiteral("Del");
  for (unsigned i = 0; i < 10; ++i) {
    names[VK_0 + i] = QString(QChar(u'0' + i));
    names[VK_NUMPAD0 + i] = names[VK_0 + i];
  }
  for (unsigned i = 0; i < 26; ++i)
    names[VK_A + i] = QString(QChar(u'A' + i));
  for (unsigned i = 0; i < 24; ++i)
    names[VK_F1 + i] = QStringLiteral("F%1").arg(i + 1);
  for (const TKeyNameEntry &e : OtherKeyNames)
    names[e.Key] = QString::fromLatin1(e.Name);
  return names;
}

const TNameTable &names() {
  static const TNameTable table = buildNames();
  return table;
}

// Removes `front` from the start of `text` when it is there, without regard
// to case.
bool compareFront(QStringView &text, QStringView front) {
  if (!text.startsWith(front, Qt::CaseInsensitive))
    return false;
  text = text.mid(front.size());
  return true;
}

} // namespace

TShortCut ShortCut(unsigned key, TShiftState shift) {
  TShortCut result = static_cast<TShortCut>(key & scKeyMask);
  if (shift & ssShift)
    result |= scShift;
  if (shift & ssCtrl)
    result |= scCtrl;
  if (shift & ssAlt)
    result |= scAlt;
  return result;
}

void ShortCutToKey(TShortCut shortCut, unsigned &key, TShiftState &shift) {
  key = shortCut & scKeyMask;
  shift = {};
  if (shortCut & scShift)
    shift |= ssShift;
  if (shortCut & scCtrl)
    shift |= ssCtrl;
  if (shortCut & scAlt)
    shift |= ssAlt;
}

QString KeyName(unsigned key) { return key < names().size() ? names()[key] : QString(); }

QString ShortCutToText(TShortCut shortCut) {
  const QString name = KeyName(shortCut & scKeyMask);
  if (name.isEmpty())
    return QString();
  QString text;
  if (shortCut & scShift)
    text += QStringLiteral("Shift+");
  if (shortCut & scCtrl)
    text += QStringLiteral("Ctrl+");
  if (shortCut & scAlt)
    text += QStringLiteral("Alt+");
  return text + name;
}

TShortCut TextToShortCut(const QString &text) {
  QStringView rest(text);
  TShortCut shift = 0;
  for (;;) {
    if (compareFront(rest, u"Shift+"))
      shift |= scShift;
    else if (compareFront(rest, u"^"))
      shift |= scCtrl;
    else if (compareFront(rest, u"Ctrl+"))
      shift |= scCtrl;
    else if (compareFront(rest, u"Alt+"))
      shift |= scAlt;
    else
      break;
  }
  if (rest.isEmpty())
    return 0;
  const TNameTable &table = names();
  for (unsigned key = VK_BACK; key < table.size(); ++key)
    if (!table[key].isEmpty() && rest.compare(table[key], Qt::CaseInsensitive) == 0)
      return static_cast<TShortCut>(key | shift);
  return 0;
}

TShortCut HotKeyOfKeyPress(unsigned key, TShiftState shift) {
  if (KeyName(key).isEmpty())
    return 0;
  if (!(shift & (ssCtrl | ssAlt)))
    shift = ssAlt;
  return ShortCut(key, shift);
}

unsigned ShiftToModifiers(TShiftState shift) {
  unsigned modifiers = 0;
  if (shift & ssShift)
    modifiers += MOD_SHIFT;
  if (shift & ssCtrl)
    modifiers += MOD_CONTROL;
  if (shift & ssAlt)
    modifiers += MOD_ALT;
  return modifiers;
}
