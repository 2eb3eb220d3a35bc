#include "uLangCodes.h"

namespace {

const std::array<TLanguageCode, LanguageCodeCount> Table = {{
    {"Ancient Greek", "grc"},
    {"Esperanto Alternative", "epo_alt"},
    {"English", "eng"},
    {"Ukrainian", "ukr"},
    {"Turkish", "tur"},
    {"Thai", "tha"},
    {"Tagalog", "tgl"},
    {"Telugu", "tel"},
    {"Tamil", "tam"},
    {"Swedish", "swe"},
    {"Swahili", "swa"},
    {"Serbian (Latin)", "srp"},
    {"Albanian", "sqi"},
    {"Spanish (Old)", "spa_old"},
    {"Spanish", "spa"},
    {"Slovenian", "slv"},
    {"Slovakian", "slk"},
    {"Romanian", "ron"},
    {"Portuguese", "por"},
    {"Polish", "pol"},
    {"Norwegian", "nor"},
    {"Dutch", "nld"},
    {"Malay", "msa"},
    {"Maltese", "mlt"},
    {"Macedonian", "mkd"},
    {"Malayalam", "mal"},
    {"Lithuanian", "lit"},
    {"Latvian", "lav"},
    {"Korean", "kor"},
    {"Kannada", "kan"},
    {"Italian (Old)", "ita_old"},
    {"Italian", "ita"},
    {"Icelandic", "isl"},
    {"Indonesian", "ind"},
    {"Cherokee", "chr"},
    {"Hungarian", "hun"},
    {"Croatian", "hrv"},
    {"Hindi", "hin"},
    {"Hebrew", "heb"},
    {"Galician", "glg"},
    {"Middle French (ca. 1400-1600)", "frm"},
    {"Frankish", "frk"},
    {"French", "fra"},
    {"Finnish", "fin"},
    {"Basque", "eus"},
    {"Estonian", "est"},
    {"Esperanto", "epo"},
    {"Middle English (1100-1500)", "enm"},
    {"Greek", "ell"},
    {"German", "deu"},
    {"Danish", "dan"},
    {"Czech", "ces"},
    {"Catalan", "cat"},
    {"Bulgarian", "bul"},
    {"Bengali", "ben"},
    {"Belarusian", "bel"},
    {"Azerbaijani", "aze"},
    {"Arabic", "ara"},
    {"Afrikaans", "afr"},
    {"Japanese", "jpn"},
    {"Chinese (Simplified)", "chi_sim"},
    {"Chinese (Traditional)", "chi_tra"},
    {"Russian", "rus"},
    {"Vietnamese", "vie"},
}};

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool SameName(const QString &name, const char *row) {
  qsizetype i = 0;
  for (; row[i]; ++i) {
    if (i >= name.size() || FoldAscii(name[i].unicode()) != FoldAscii(char16_t(static_cast<unsigned char>(row[i]))))
      return false;
  }
  return i == name.size();
}

} // namespace

const std::array<TLanguageCode, LanguageCodeCount> &LanguageCodeTable() { return Table; }

QString LanguageCode(const QString &name) {
  if (name.isEmpty())
    return QString();
  for (const TLanguageCode &row : Table)
    if (SameName(name, row.Name))
      return QString::fromLatin1(row.Code);
  return QString();
}
