#pragma once

#include <QTranslator>

// English singular and plural for the texts that count something. They are written as
// tr("%n match(es)", nullptr, n): Qt asks the installed translators for the form that fits n, and
// without one it would print the "(es)" as it stands ("1 match(es)").
class PluralForms : public QTranslator
{
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;

    // Installs one translator on the application; further calls do nothing.
    static void install();
};
