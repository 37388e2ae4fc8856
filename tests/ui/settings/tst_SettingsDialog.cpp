#include "AppState.h"
#include "FontScale.h"
#include "PreferencesRepository.h"
#include "SettingsDialog.h"
#include "ThemeManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void themeChoiceAppliesAtOnce_data();
    void themeChoiceAppliesAtOnce();
    void fontSizeFollowsScale_data();
    void fontSizeFollowsScale();
    void checkBoxesWriteTheirKeys_data();
    void checkBoxesWriteTheirKeys();
    void intervalClamps_data();
    void intervalClamps();
    void categoryRowSelectsPage_data();
    void categoryRowSelectsPage();
    void signInStateRows_data();
    void signInStateRows();

private:
    // Shown, so the category list and pages have their real geometry.
    SettingsDialog* openDialog();
    template<typename T>
    T* child(const char* name) const
    {
        T* widget = m_dialog->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    QString stored(const char* key) const { return m_state->preferences()->value(QLatin1String(key)).value_or("-"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<SettingsDialog> m_dialog;
};

void tst_SettingsDialog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_SettingsDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("NOTES_DATA_DIR", m_dir->path().toUtf8());
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
}

void tst_SettingsDialog::cleanup()
{
    m_dialog.reset();
    m_state.reset();
    m_dir.reset();
    // The scale is process-wide; later tests expect the default.
    FontScale::setPercent(FontScale::kDefault);
}

SettingsDialog* tst_SettingsDialog::openDialog()
{
    m_dialog = std::make_unique<SettingsDialog>(m_state.get());
    m_dialog->show();
    if (!QTest::qWaitForWindowExposed(m_dialog.get()))
        qFatal("settings dialog never exposed");
    return m_dialog.get();
}

void tst_SettingsDialog::themeChoiceAppliesAtOnce_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("listBackground");

    QTest::newRow("light to dark") << "light" << "Dark" << "dark" << "#1e1e1e" << "#1B1E22";
    // The offscreen platform reports a light palette.
    QTest::newRow("dark to system") << "dark" << "System" << "system" << "#fafafa" << "#F2F4F7";
}

void tst_SettingsDialog::themeChoiceAppliesAtOnce()
{
    QFETCH(QString, initial);
    QFETCH(QString, item);
    QFETCH(QString, mode);
    QFETCH(QString, window);
    QFETCH(QString, listBackground);

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

    QTest::newRow("120 is no preset") << 120 << "Default" << "Large" << 130;
    QTest::newRow("150 back to Medium") << 150 << "Extra Large" << "Medium" << 115;
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

    QTest::newRow("steno") << "stenoCheck" << "steno_mode" << false;
    QTest::newRow("auto sync") << "autoSyncCheck" << "auto_sync" << true;
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

    QTest::newRow("default down past 1") << -1 << 5 << int(Qt::Key_Down) << 6 << 1;
    QTest::newRow("stored up past 120") << 115 << 115 << int(Qt::Key_PageUp) << 2 << 120;
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

void tst_SettingsDialog::categoryRowSelectsPage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("page");

    QTest::newRow("Account") << 4 << "accountPage";
}

void tst_SettingsDialog::categoryRowSelectsPage()
{
    QFETCH(int, row);
    QFETCH(QString, page);

    openDialog();
    auto* list = child<QListWidget>("categoryList");
    auto* pages = child<QStackedWidget>("settingsPages");

    auto click = [list](int r) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(r)).center());
    };
    click(row);
    QCOMPARE(pages->currentWidget()->objectName(), page);
    click(0);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("appearancePage"));
}

void tst_SettingsDialog::signInStateRows_data()
{
    QTest::addColumn<QList<bool>>("transitions");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("signedIn");

    const QString outText = QStringLiteral("Sign in to your Norvane account to sync.");
    const QString inText = QStringLiteral("Push pending changes and pull the latest from the server.");
    QTest::newRow("signed in") << QList<bool>{true} << "Syncing..." << inText << "Signed in" << true;
    QTest::newRow("in then out") << QList<bool>{true, false} << "Not signed in" << outText << "Not signed in"
                                 << false;
}

void tst_SettingsDialog::signInStateRows()
{
    QFETCH(QList<bool>, transitions);
    QFETCH(QString, status);
    QFETCH(QString, description);
    QFETCH(QString, account);
    QFETCH(bool, signedIn);

    openDialog();
    m_dialog->setSyncStateText(QStringLiteral("Syncing..."));
    for (bool in : transitions)
        m_dialog->setSignedIn(in);
    child<QListWidget>("categoryList")->setCurrentRow(3);

    QCOMPARE(child<QLabel>("syncStatusLabel")->text(), status);
    QCOMPARE(child<QLabel>("syncDescriptionLabel")->text(), description);
    QCOMPARE(child<QLabel>("accountValueLabel")->text(), account);
    QCOMPARE(child<QPushButton>("syncNowButton")->isEnabled(), signedIn);
    QCOMPARE(child<QPushButton>("manageAccountButton")->isEnabled(), signedIn);
    QCOMPARE(child<QPushButton>("signOutButton")->isEnabled(), signedIn);
    QCOMPARE(child<QPushButton>("signInButton")->isEnabled(), !signedIn);

    // Disabled buttons ask for nothing.
    QSignalSpy syncSpy(m_dialog.get(), &SettingsDialog::syncNowRequested);
    QSignalSpy signInSpy(m_dialog.get(), &SettingsDialog::signInRequested);
    QSignalSpy signOutSpy(m_dialog.get(), &SettingsDialog::signOutRequested);
    QTest::mouseClick(child<QPushButton>("syncNowButton"), Qt::LeftButton);
    child<QListWidget>("categoryList")->setCurrentRow(4);
    QTest::mouseClick(child<QPushButton>("signInButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("signOutButton"), Qt::LeftButton);
    QCOMPARE(syncSpy.count(), signedIn ? 1 : 0);
    QCOMPARE(signOutSpy.count(), signedIn ? 1 : 0);
    QCOMPARE(signInSpy.count(), signedIn ? 0 : 1);
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
