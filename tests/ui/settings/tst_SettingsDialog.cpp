#include "FontScale.h"
#include "PreferencesRepository.h"
#include "SettingsDialog.h"
#include "ThemeManager.h"
#include "UiTestLibrary.h"

#include <QComboBox>
#include <QtTest>

// The Appearance page's choices apply while the dialog is open, and are stored for the next start.
class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_SettingsDialog"); }
    void init() { QVERIFY(m_library.open()); }
    void cleanup()
    {
        m_library.close();
        // The scale is process-wide; later tests expect the default.
        FontScale::setPercent(FontScale::kDefault);
    }

    void themeChoiceAppliesAtOnce();
    void fontSizeFollowsScale();

private:
    QComboBox* combo(SettingsDialog& dialog, const char* name)
    {
        dialog.show();
        return dialog.findChild<QComboBox*>(QLatin1String(name));
    }
    QString stored(const char* key) const { return m_state->preferences()->value(QLatin1String(key)).value_or("-"); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_SettingsDialog::themeChoiceAppliesAtOnce()
{
    m_state->theme()->setThemeFromString(QStringLiteral("light"));
    SettingsDialog dialog(m_state.get());
    QComboBox* theme = combo(dialog, "themeCombo");
    QTest::keyClicks(theme, QStringLiteral("Da"));
    QCOMPARE(theme->currentText(), QStringLiteral("Dark"));
    QCOMPARE(stored("theme_mode"), QStringLiteral("dark"));
    QCOMPARE(qApp->palette().color(QPalette::Window).name(), QStringLiteral("#1e1e1e"));
}

void tst_SettingsDialog::fontSizeFollowsScale()
{
    // 120 is no preset: the combo falls back to Default rather than showing nothing.
    m_state->theme()->setFontScale(120);
    SettingsDialog dialog(m_state.get());
    QComboBox* size = combo(dialog, "fontSizeCombo");
    QCOMPARE(size->currentText(), QStringLiteral("Default"));
    QTest::keyClicks(size, QStringLiteral("La"));
    QCOMPARE(m_state->theme()->fontScale(), 130);
    QCOMPARE(stored("fontScale"), QStringLiteral("130"));

    // A scale changed elsewhere while the dialog is open shows up in the combo.
    m_state->theme()->setFontScale(85);
    QCOMPARE(size->currentText(), QStringLiteral("Small"));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
