#pragma once

#include <QString>

class QObject;

// The text of a message key in the interface-language table: the value of
// the first line whose name equals the key without regard to case; the key
// itself when no line has it.
QString GetLangText(const QString &key);

// Sets a component's Caption, or else its Text, to the table's value for the
// component's name (objectName) when the table holds that name.
void TranslateComponent(QObject *component);

// Which Qt property stands for a component's Caption or Text; null when its
// class has none.
const char *CaptionPropertyOf(const QObject *component);
const char *TextPropertyOf(const QObject *component);
