#include "StatusBar.h"
#include "SyncCloudIcon.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

class tst_StatusBar : public QObject
{
    Q_OBJECT

private slots:
    void listTitle_data();
    void listTitle();
    void savedThenTyping();
    void savingShowsWhenNoSaveArrives();
    void syncingHold_data();
    void syncingHold();
    void syncStateOutsideHoldAppliesAtOnce();
    void glyphColours();
    void busyAndMessages();

private:
    static QString wordText(StatusBar& bar)
    {
        return bar.findChild<QLabel*>(QStringLiteral("statusWordLabel"))->text();
    }
    static QTimer* saveTimer(StatusBar& bar) { return bar.findChild<QTimer*>(QStringLiteral("saveStateTimer")); }
};

void tst_StatusBar::listTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one note") << "Work" << 1 << "Work (1 note)";
    QTest::newRow("empty notebook") << "Recipes" << 0 << "Recipes (0 notes)";
    QTest::newRow("many") << "All Notes" << 42 << "All Notes (42 notes)";
    QTest::newRow("no count") << "Trash" << -1 << "Trash";
}

void tst_StatusBar::listTitle()
{
    QFETCH(QString, title);
    QFETCH(int, count);
    QFETCH(QString, expected);

    StatusBar bar;
    QLabel* label = bar.findChild<QLabel*>(QStringLiteral("statusListLabel"));
    QCOMPARE(label->text(), QStringLiteral("All Notes"));
    QCOMPARE(bar.syncIcon()->toolTip(), QStringLiteral("Not signed in"));
    bar.setListTitle(title, count);
    QCOMPARE(label->text(), expected);
}

void tst_StatusBar::savedThenTyping()
{
    StatusBar bar;
    bar.setWordCount(12);
    QCOMPARE(wordText(bar), QStringLiteral("Words: 12"));

    bar.onSavedStateChanged(true);
    QCOMPARE(bar.saveState(), StatusBar::Saved);
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 12  \u00B7  Saved"));
    QVERIFY(!saveTimer(bar)->isActive());

    // The next keystroke takes "Saved" away at once and starts the wait.
    bar.onSavedStateChanged(false);
    bar.setWordCount(13);
    QCOMPARE(bar.saveState(), StatusBar::NoSaveState);
    QCOMPARE(wordText(bar), QStringLiteral("Words: 13"));
    QVERIFY(saveTimer(bar)->isActive());
    QCOMPARE(saveTimer(bar)->interval(), 1500);
    QVERIFY(saveTimer(bar)->isSingleShot());

    // The autosave lands within the wait: straight to "Saved", "Saving..." never shows.
    bar.onSavedStateChanged(true);
    QVERIFY(!saveTimer(bar)->isActive());
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 13  \u00B7  Saved"));
}

void tst_StatusBar::savingShowsWhenNoSaveArrives()
{
    StatusBar bar;
    bar.setWordCount(3);
    bar.onSavedStateChanged(false);
    QCOMPARE(wordText(bar), QStringLiteral("Words: 3"));
    QTRY_COMPARE_WITH_TIMEOUT(bar.saveState(), StatusBar::Saving, 5000);
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 3  \u00B7  Saving..."));

    bar.onSavedStateChanged(true);
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 3  \u00B7  Saved"));
}

void tst_StatusBar::syncingHold_data()
{
    QTest::addColumn<QList<int>>("during");
    QTest::addColumn<int>("after");

    QTest::newRow("instant sync") << QList<int>{1} << 1;
    QTest::newRow("latest wins") << QList<int>{2, 4} << 4;
    QTest::newRow("offline") << QList<int>{5} << 5;
    QTest::newRow("nothing arrives") << QList<int>{} << 3;
}

void tst_StatusBar::syncingHold()
{
    QFETCH(QList<int>, during);
    QFETCH(int, after);

    StatusBar bar;
    SyncCloudIcon* icon = bar.syncIcon();
    QTimer* hold = icon->findChild<QTimer*>(QStringLiteral("syncHoldTimer"));
    QCOMPARE(hold->interval(), 600);

    bar.setSyncState(SyncCloudIcon::Syncing, QStringLiteral("Syncing..."));
    QCOMPARE(icon->state(), SyncCloudIcon::Syncing);
    QCOMPARE(icon->text(), QString(QChar(0xE2C3)));
    QCOMPARE(icon->toolTip(), QStringLiteral("Syncing..."));
    QVERIFY(hold->isActive());

    for (int code : during)
        bar.setSyncState(code, QStringLiteral("Synced"));
    // Held back until the syncing glyph has been up for its minimum time.
    QCOMPARE(icon->state(), SyncCloudIcon::Syncing);
    QCOMPARE(icon->text(), QString(QChar(0xE2C3)));

    QTRY_VERIFY(!hold->isActive());
    QCOMPARE(int(icon->state()), after);
    QCOMPARE(icon->text(), QString(SyncCloudIcon::glyph(static_cast<SyncCloudIcon::State>(after))));
}

void tst_StatusBar::syncStateOutsideHoldAppliesAtOnce()
{
    StatusBar bar;
    SyncCloudIcon* icon = bar.syncIcon();
    QCOMPARE(icon->text(), QString(QChar(0xE2BD)));
    bar.setSyncState(SyncCloudIcon::Pending, QStringLiteral("Changes pending"));
    QCOMPARE(icon->text(), QString(QChar(0xE2C2)));
    bar.setSyncState(SyncCloudIcon::Error, QStringLiteral("Sync failed"));
    QCOMPARE(icon->text(), QString(QChar(0xE629)));
    bar.setSyncState(9, QStringLiteral("?")); // unknown codes change nothing but the tooltip
    QCOMPARE(icon->state(), SyncCloudIcon::Error);
    bar.setSyncState(SyncCloudIcon::NotSignedIn, QStringLiteral("Not signed in"));
    QCOMPARE(icon->text(), QString(QChar(0xE2BD)));
    QCOMPARE(icon->toolTip(), QStringLiteral("Not signed in"));
}

void tst_StatusBar::glyphColours()
{
    const QPalette initial = QApplication::palette();
    QPalette light = initial;
    light.setColor(QPalette::Window, QColor(250, 250, 250));
    light.setColor(QPalette::WindowText, QColor(33, 33, 33));
    QApplication::setPalette(light);
    QWidget host;
    auto* icon = new SyncCloudIcon(&host);
    auto sheet = [](const char* colour) {
        return QStringLiteral("font-family: 'Material Icons'; font-size: 17px; color: %1;").arg(QLatin1String(colour));
    };

    // 55 % toward the window: 250 × 0.55 + 33 × 0.45 = 152.35.
    QCOMPARE(icon->styleSheet(), sheet("#989898"));
    icon->setState(SyncCloudIcon::Idle);
    QCOMPARE(icon->styleSheet(), sheet("#52b07a"));
    icon->setState(SyncCloudIcon::Offline);
    // 45 %: 250 × 0.45 + 33 × 0.55 = 130.65.
    QCOMPARE(icon->styleSheet(), sheet("#828282"));

    // A theme change recolours the glyph from the new palette: 30 × 0.45 + 224 × 0.55 = 136.7.
    QPalette dark = initial;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(224, 224, 224));
    QApplication::setPalette(dark);
    QTRY_COMPARE(icon->styleSheet(), sheet("#888888"));
    QApplication::setPalette(initial);
}

void tst_StatusBar::busyAndMessages()
{
    StatusBar bar;
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    auto* busyLabel = bar.findChild<QLabel*>(QStringLiteral("statusBusyLabel"));
    auto* indicator = bar.findChild<QProgressBar*>(QStringLiteral("statusBusyIndicator"));
    QVERIFY(!busyLabel->isVisible());
    QVERIFY(!indicator->isVisible());
    QCOMPARE(indicator->maximum(), 0);

    bar.showBusy(QStringLiteral("Checking for updates..."));
    QVERIFY(busyLabel->isVisible());
    QVERIFY(indicator->isVisible());
    QCOMPARE(busyLabel->text(), QStringLiteral("Checking for updates..."));

    bar.showMessage(QStringLiteral("You're up to date."), 3000);
    QVERIFY(!busyLabel->isVisible());
    QVERIFY(!indicator->isVisible());
    QCOMPARE(bar.currentMessage(), QStringLiteral("You're up to date."));

    bar.showBusy(QStringLiteral("Loading..."));
    bar.hideBusy();
    QVERIFY(!busyLabel->isVisible());
}

QTEST_MAIN(tst_StatusBar)
#include "tst_StatusBar.moc"
