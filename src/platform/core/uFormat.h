#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// Fills a format with "%d" (a whole number) and "%s" (a text) placeholders in
// order; "%%" stands for one percent sign. Arguments without a placeholder are
// ignored. A placeholder without an argument, one whose argument does not fit
// it, or any other "%" sequence raises EConvertError.
QString FormatText(const QString &format, const QVariantList &args);
