#include "uLangText.h"

#include "uDMMain.h"
#include "uPlatformText.h"

#include <QMetaProperty>
#include <QObject>

namespace {

// The value of the first line named `key`; false when no line matches.
bool lookup(const QString &key, QString &value) {
  if (!LangList)
    return false;
  for (const QString &line : *LangList) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
      continue;
    if (QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0) {
      value = line.mid(eq + 1);
      return true;
    }
  }
  return false;
}

// The stand-ins of the form components' Caption and Text among Qt's own
// classes, most derived first. The program's own components (ribbon items,
// bars, button edits ...) declare a property named Caption or Text themselves.
struct TPropertyMap {
  const char *ClassName;
  const char *Caption;
  const char *Text;
};
constexpr TPropertyMap QtStandIns[] = {
    {"QAction", "text", nullptr},          // actions
    {"QAbstractButton", "text", nullptr},  // buttons
    {"QLabel", "text", nullptr},           // labels and panels
    {"QGroupBox", "title", nullptr},       // framed groups
    {"QMenu", "title", nullptr},           // sub-menus
    {"QLineEdit", nullptr, "text"},        // edits
    {"QComboBox", nullptr, "currentText"}, // combo boxes
};

const char *ownProperty(const QObject *component, const char *name) {
  const QMetaObject *meta = component->metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty p = meta->property(i);
    if (qstricmp(p.name(), name) == 0 && p.isWritable() && p.metaType().id() == QMetaType::QString)
      return p.name();
  }
  return nullptr;
}

const TPropertyMap *standIn(const QObject *component) {
  for (const TPropertyMap &m : QtStandIns)
    if (component->inherits(m.ClassName))
      return &m;
  return nullptr;
}

// The platform layers take their texts from the table as well, as soon as
// this unit is part of the program; while no table is loaded (also while it
// is being read, or when it could not be read) they keep their English ones.
bool platformLookup(const QString &key, QString &text) {
  if (!LangList || LangList->isEmpty())
    return false;
  text = GetLangText(key);
  return true;
}
const bool PlatformLookupSet = (SetPlatformTextLookup(platformLookup), true);

} // namespace

QString GetLangText(const QString &key) {
  QString value;
  return lookup(key, value) ? value : key;
}

const char *CaptionPropertyOf(const QObject *component) {
  if (const char *own = ownProperty(component, "Caption"))
    return own;
  const TPropertyMap *m = standIn(component);
  return m ? m->Caption : nullptr;
}

const char *TextPropertyOf(const QObject *component) {
  if (const char *own = ownProperty(component, "Text"))
    return own;
  const TPropertyMap *m = standIn(component);
  return m ? m->Text : nullptr;
}

void TranslateComponent(QObject *component) {
  if (!component)
    return;
  QString value;
  if (!lookup(component->objectName(), value))
    return;
  if (const char *caption = CaptionPropertyOf(component))
    component->setProperty(caption, value);
  else if (const char *text = TextPropertyOf(component))
    component->setProperty(text, value);
}
