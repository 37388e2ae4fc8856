#include "AppState.h"
#include "FontScale.h"
#include "PreferencesRepository.h"
#include "SettingsDialog.h"
#include "ThemeManager.h"
#include "UiTestLibrary.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
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
    void checkBoxesWriteTheirKeys_data();
    void checkBoxesWriteTheirKeys();
    void intervalClamps_data();
    void intervalClamps();
    void signInState_data();
    void signInState();

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
    // The offscreen platform reports a light palette.
    QTest::newRow("dark to system") << "dark" << "System" << "system" << "#fafafa";
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
    QVERIFY(m_dialog->isVisible());
}

void tst_SettingsDialog::fontSizeFollowsScale_data()
{
    QTest::addColumn<int>("initialScale");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("scale");

    // clang-format off
    QTest::newRow("120 is no preset") << 120 << "Default" << "Large" << 130;
    QTest::newRow("150 back to Medium") << 150 << "Extra Large" << "Medium" << 115;
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

void tst_SettingsDialog::checkBoxesWriteTheirKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("defaultValue");

    // clang-format off
    QTest::newRow("steno") << "stenoCheck" << "steno_mode" << false;
    QTest::newRow("auto sync") << "autoSyncCheck" << "auto_sync" << true;
    // clang-format on
}

void tst_SettingsDialog::checkBoxesWriteTheirKeys()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(bool, defaultValue);

    openDialog();
    auto* check = child<QCheckBox>(name.toLatin1().constData());
    QCOMPARE(check->isChecked(), defaultValue);
    const QByteArray keyBytes = key.toLatin1();

    QTest::keyClick(check, Qt::Key_Space);
    QCOMPARE(stored(keyBytes.constData()), defaultValue ? QStringLiteral("0") : QStringLiteral("1"));
    QTest::keyClick(check, Qt::Key_Space);
    QCOMPARE(stored(keyBytes.constData()), defaultValue ? QStringLiteral("1") : QStringLiteral("0"));

    // A value stored elsewhere is shown without being written back.
    m_state->preferences()->setBool(key, !defaultValue);
    QCOMPARE(check->isChecked(), !defaultValue);
}

void tst_SettingsDialog::intervalClamps_data()
{
    QTest::addColumn<int>("storedMinutes");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("expected");

    // clang-format off
    QTest::newRow("default down past 1") << -1 << 5 << int(Qt::Key_Down) << 6 << 1;
    QTest::newRow("stored up past 120") << 115 << 115 << int(Qt::Key_PageUp) << 2 << 120;
    // clang-format on
}

void tst_SettingsDialog::intervalClamps()
{
    QFETCH(int, storedMinutes);
    QFETCH(int, shown);
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(int, expected);

    if (storedMinutes > 0)
        m_state->preferences()->setInt(QStringLiteral("sync_interval_minutes"), storedMinutes);
    openDialog();
    auto* spin = child<QSpinBox>("syncIntervalSpin");
    QCOMPARE(spin->value(), shown);
    QCOMPARE(spin->text(), QStringLiteral("%1 min").arg(shown));

    for (int i = 0; i < presses; ++i)
        QTest::keyClick(spin, Qt::Key(key));
    QCOMPARE(spin->value(), expected);
    QCOMPARE(stored("sync_interval_minutes"), QString::number(expected));
}

void tst_SettingsDialog::signInState_data()
{
    QTest::addColumn<QList<bool>>("transitions");
    QTest::addColumn<bool>("signedIn");
    // clang-format off
    QTest::newRow("signed in") << QList<bool>{true} << true;
    QTest::newRow("in then out") << QList<bool>{true, false} << false;
    // clang-format on
}

// Only what the state allows is offered, and disabled buttons ask for nothing.
void tst_SettingsDialog::signInState()
{
    QFETCH(QList<bool>, transitions);
    QFETCH(bool, signedIn);

    openDialog();
    for (bool in : transitions)
        m_dialog->setSignedIn(in);
    QSignalSpy syncSpy(m_dialog.get(), &SettingsDialog::syncNowRequested);
    QSignalSpy signInSpy(m_dialog.get(), &SettingsDialog::signInRequested);
    QSignalSpy signOutSpy(m_dialog.get(), &SettingsDialog::signOutRequested);
    child<QListWidget>("categoryList")->setCurrentRow(3);
    QTest::mouseClick(child<QPushButton>("syncNowButton"), Qt::LeftButton);
    child<QListWidget>("categoryList")->setCurrentRow(4);
    QCOMPARE(child<QPushButton>("manageAccountButton")->isEnabled(), signedIn);
    QTest::mouseClick(child<QPushButton>("signInButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    QCOMPARE(syncSpy.count(), signedIn ? 1 : 0);
    QCOMPARE(signOutSpy.count(), signedIn ? 1 : 0);
    QCOMPARE(signInSpy.count(), signedIn ? 0 : 1);
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
