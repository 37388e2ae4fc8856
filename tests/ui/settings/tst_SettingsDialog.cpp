#include "AppState.h"
#include "FontScale.h"
#include "PreferencesRepository.h"
#include "SettingsDialog.h"
#include "ThemeManager.h"
#include "UiTestLibrary.h"

#include <QApplication>
#include <QComboBox>
#include <QtTest>
#include <memory>

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_SettingsDialog"); }
    void init() { QVERIFY(m_library.open()); }
    void cleanup()
    {
        m_dialog.reset();
        m_library.close();
        // The scale is process-wide; later tests expect the default.
        FontScale::setPercent(FontScale::kDefault);
    }

    void themeChoiceAppliesAtOnce_data();
    void themeChoiceAppliesAtOnce();
    void fontSizeFollowsScale_data();
    void fontSizeFollowsScale();

private:
    // Shown, so the pages have their real geometry; after the state it reads is set.
    void openDialog()
    {
        m_dialog = std::make_unique<SettingsDialog>(m_state.get());
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    template <typename T> T* child(const char* name) const
    {
        T* widget = m_dialog->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    QString stored(const char* key) const { return m_state->preferences()->value(QLatin1String(key)).value_or("-"); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
    std::unique_ptr<SettingsDialog> m_dialog;
};

void tst_SettingsDialog::themeChoiceAppliesAtOnce_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("window");

    // clang-format off
    QTest::newRow("light to dark") << "light" << "Dark" << "dark" << "#1e1e1e";
    // clang-format on
}

void tst_SettingsDialog::themeChoiceAppliesAtOnce()
{
    QFETCH(QString, initial);
    QFETCH(QString, item);
    QFETCH(QString, mode);
    QFETCH(QString, window);

    m_state->theme()->setThemeFromString(initial);
    openDialog();
    auto* combo = child<QComboBox>("themeCombo");
    QCOMPARE(combo->currentData().toString(), initial);

    QTest::keyClicks(combo, item.left(2));
    QCOMPARE(combo->currentText(), item);
    QCOMPARE(stored("theme_mode"), mode);
    QCOMPARE(qApp->palette().color(QPalette::Window).name(), window);
}

void tst_SettingsDialog::fontSizeFollowsScale_data()
{
    QTest::addColumn<int>("initialScale");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("scale");

    // clang-format off
    QTest::newRow("120 is no preset") << 120 << "Default" << "Large" << 130;
    // clang-format on
}

void tst_SettingsDialog::fontSizeFollowsScale()
{
    QFETCH(int, initialScale);
    QFETCH(QString, shown);
    QFETCH(QString, item);
    QFETCH(int, scale);

    m_state->theme()->setFontScale(initialScale);
    openDialog();
    auto* combo = child<QComboBox>("fontSizeCombo");
    QCOMPARE(combo->currentText(), shown);

    QTest::keyClicks(combo, item.left(2));
    QCOMPARE(combo->currentText(), item);
    QCOMPARE(m_state->theme()->fontScale(), scale);
    QCOMPARE(stored("fontScale"), QString::number(scale));

    // A scale changed elsewhere while the dialog is open shows up in the combo.
    m_state->theme()->setFontScale(85);
    QCOMPARE(combo->currentText(), QStringLiteral("Small"));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
