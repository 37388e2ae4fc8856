#pragma once

#include <QLocale>
#include <QString>

// The language of the interface. English is the language of the sources; any other comes from a translation
// compiled into the program under ":/i18n", and Qt's own texts (standard buttons, the About Qt box) from Qt's
// translations where the system has them.
namespace Translations {

// Installs the translation for the first of the locale's interface languages that the program has, in the
// user's order of preference (by default the system's: LANGUAGE, then LC_ALL, LC_MESSAGES, LANG), and removes the
// one installed before. English stops the search: a user who prefers English to German gets English. Returns the
// language installed ("de"), or an empty string for English.
// The English plural endings (PluralForms) stay installed beneath it for texts a translation leaves open.
QString install(const QLocale& locale = QLocale());

} // namespace Translations
