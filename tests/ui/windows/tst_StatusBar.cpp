#include "StatusBar.h"
#include "SyncCloudIcon.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QtTest>

class tst_StatusBar : public QObject
{
    Q_OBJECT

private slots:
    void saveState();
    void syncingHold_data();
    void syncingHold();

private:
    static QString wordText(StatusBar& bar)
    {
        return bar.findChild<QLabel*>(QStringLiteral("statusWordLabel"))->text();
    }
};

void tst_StatusBar::saveState()
{
    StatusBar bar;
    auto* wait = bar.findChild<QTimer*>(QStringLiteral("saveStateTimer"));
    bar.setWordCount(12);
    bar.onSavedStateChanged(true);
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 12  \u00B7  Saved"));

    // The next keystroke takes "Saved" away at once; an autosave within the wait goes straight back
    // to "Saved" without "Saving..." ever showing.
    bar.onSavedStateChanged(false);
    bar.setWordCount(13);
    QCOMPARE(wordText(bar), QStringLiteral("Words: 13"));
    QVERIFY(wait->isActive());
    bar.onSavedStateChanged(true);
    QVERIFY(!wait->isActive());
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 13  \u00B7  Saved"));

    // No save within the wait: "Saving..." shows.
    bar.onSavedStateChanged(false);
    QTRY_COMPARE_WITH_TIMEOUT(bar.saveState(), StatusBar::Saving, 5000);
    QCOMPARE(wordText(bar), QString::fromUtf8("Words: 13  \u00B7  Saving..."));
}

void tst_StatusBar::syncingHold_data()
{
    QTest::addColumn<QList<int>>("during");
    QTest::addColumn<int>("after");
    QTest::newRow("latest wins") << QList<int>{2, 4} << 4;
    QTest::newRow("nothing arrives") << QList<int>{} << 3;
}

void tst_StatusBar::syncingHold()
{
    QFETCH(QList<int>, during);
    QFETCH(int, after);
    StatusBar bar;
    SyncCloudIcon* icon = bar.syncIcon();
    // Outside the hold a state applies at once.
    bar.setSyncState(SyncCloudIcon::Pending, QStringLiteral("Changes pending"));
    QCOMPARE(icon->state(), SyncCloudIcon::Pending);

    bar.setSyncState(SyncCloudIcon::Syncing, QStringLiteral("Syncing..."));
    for (int code : during)
        bar.setSyncState(code, QStringLiteral("Synced"));
    // Held back until the syncing glyph has been up for its minimum time.
    QCOMPARE(icon->state(), SyncCloudIcon::Syncing);
    QTRY_COMPARE(int(icon->state()), after);
}

QTEST_MAIN(tst_StatusBar)
#include "tst_StatusBar.moc"
