#include "Translations.h"

#include "AppLog.h"
#include "PluralForms.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#ifdef NORV_HAVE_TRANSLATIONS
void norvInitTranslationResources();
#endif

namespace {

constexpr QLatin1StringView kResourceDir{":/i18n"};

QPointer<QTranslator>& programTranslator()
{
    static QPointer<QTranslator> translator;
    return translator;
}

QPointer<QTranslator>& qtTranslator()
{
    static QPointer<QTranslator> translator;
    return translator;
}

void uninstall(QPointer<QTranslator>& translator)
{
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

// A translator for fileName ("norvane_de_DE"; QTranslator falls back to "norvane_de") in dir, or null.
QTranslator* load(const QString& fileName, const QString& dir)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(fileName, dir))
        return translator;
    delete translator;
    return nullptr;
}

} // namespace

QString Translations::install(const QLocale& locale)
{
#ifdef NORV_HAVE_TRANSLATIONS
    norvInitTranslationResources();
#endif
    if (!QCoreApplication::instance())
        return {};
    // Installed first, so asked last: any translation installed after it answers before it.
    PluralForms::install();
    uninstall(programTranslator());
    uninstall(qtTranslator());

    for (const QString& uiLanguage : locale.uiLanguages()) {
        const QLocale candidate(uiLanguage);
        if (candidate.language() == QLocale::English || candidate.language() == QLocale::C)
            break;
        const QString name = QString(uiLanguage).replace(QLatin1Char('-'), QLatin1Char('_'));
        QTranslator* program = load(QStringLiteral("norvane_") + name, kResourceDir);
        if (!program)
            continue;
        // Qt's own texts are a bonus: a system without them still gets the program's translation.
        if (QTranslator* qt =
                load(QStringLiteral("qtbase_") + name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt);
            qtTranslator() = qt;
        }
        QCoreApplication::installTranslator(program);
        programTranslator() = program;
        qCInfo(lcApp).noquote() << "Interface language:" << program->language();
        return QLocale(program->language()).name().section(QLatin1Char('_'), 0, 0);
    }
    return {};
}
