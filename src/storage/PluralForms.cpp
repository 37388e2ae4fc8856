#include "PluralForms.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRegularExpression>

QString PluralForms::translate(const char* /*context*/, const char* sourceText, const char* /*disambiguation*/,
                               int n) const
{
    if (n < 0 || !sourceText)
        return {};
    const QString source = QString::fromUtf8(sourceText);
    if (!source.contains(QLatin1String("%n")))
        return {};
    // "note(s)" and "match(es)": the ending in brackets is the plural's.
    static const QRegularExpression ending(QStringLiteral("\\((e?s)\\)"));
    QString out = source;
    out.replace(ending, n == 1 ? QString() : QStringLiteral("\\1"));
    return out == source ? QString() : out;
}

// Every program with counted texts gets the English endings from its first moment on, whether or not it ever
// builds the application state.
namespace {
void installPluralForms()
{
    PluralForms::install();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(installPluralForms)

void PluralForms::install()
{
    static QPointer<PluralForms> installed;
    if (installed || !QCoreApplication::instance())
        return;
    installed = new PluralForms(QCoreApplication::instance());
    QCoreApplication::installTranslator(installed);
}
