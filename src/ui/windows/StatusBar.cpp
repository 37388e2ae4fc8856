#include "StatusBar.h"

#include "SyncCloudIcon.h"
#include "SyncEngine.h"

#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

StatusBar::StatusBar(QWidget* parent)
    : QStatusBar(parent)
    , m_listLabel(new QLabel(tr("All Notes"), this))
    , m_wordLabel(new QLabel(this))
    , m_syncIcon(new SyncCloudIcon(this))
    , m_busyLabel(new QLabel(this))
    , m_busyIndicator(new QProgressBar(this))
    , m_saveTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("statusBar"));
    setStyleSheet(QStringLiteral("QStatusBar {  font-size: 9pt;  color: %1;}QStatusBar::item { border: none; }")
                      .arg(QStringLiteral("#78909C")));
    m_listLabel->setObjectName(QStringLiteral("statusListLabel"));
    // The bar's item frame adds no inset of its own; without one the title sits on the window edge.
    m_listLabel->setContentsMargins(6, 0, 0, 0);
    m_wordLabel->setObjectName(QStringLiteral("statusWordLabel"));
    m_busyLabel->setObjectName(QStringLiteral("statusBusyLabel"));
    m_busyIndicator->setObjectName(QStringLiteral("statusBusyIndicator"));
    m_saveTimer->setObjectName(QStringLiteral("saveStateTimer"));

    m_busyIndicator->setRange(0, 0);
    m_busyIndicator->setTextVisible(false);
    m_busyIndicator->setMaximumSize(100, 14);
    m_busyLabel->hide();
    m_busyIndicator->hide();
    m_syncIcon->setToolTip(tr("Not signed in"));

    addWidget(m_listLabel, 1);
    addPermanentWidget(m_busyLabel);
    addPermanentWidget(m_busyIndicator);
    addPermanentWidget(m_wordLabel);
    addPermanentWidget(m_syncIcon);

    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(kSavingDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, [this] {
        m_saveState = Saving;
        refreshWordLabel();
    });
}

void StatusBar::setListTitle(const QString& title, int count)
{
    if (count < 0) {
        m_listLabel->setText(title);
        return;
    }
    m_listLabel->setText(tr("%1 (%n note(s))", nullptr, count).arg(title));
}

void StatusBar::setWordCount(int count)
{
    m_wordCount = count;
    refreshWordLabel();
}

void StatusBar::setNoteOpen(bool open)
{
    m_wordLabel->setVisible(open);
}

void StatusBar::onSavedStateChanged(bool saved)
{
    if (saved) {
        m_saveTimer->stop();
        m_saveState = Saved;
        refreshWordLabel();
        return;
    }
    // "Saved" goes at the first change; "Saving..." only when no save follows in time.
    if (m_saveState == Saved) {
        m_saveState = NoSaveState;
        refreshWordLabel();
    }
    m_saveTimer->start();
}

void StatusBar::refreshWordLabel()
{
    QString text = tr("Words: %1").arg(m_wordCount);
    if (m_saveState == Saving)
        text += QStringLiteral("  \u00B7  ") + tr("Saving...");
    else if (m_saveState == Saved)
        text += QStringLiteral("  \u00B7  ") + tr("Saved");
    m_wordLabel->setText(text);
}

void StatusBar::setSyncState(int code, const QString& text)
{
    m_syncIcon->setState(code);
    m_syncIcon->setToolTip(text);
}

void StatusBar::showMessage(const QString& text, int milliseconds)
{
    hideBusy();
    QStatusBar::showMessage(text, milliseconds);
}

void StatusBar::showSync(const SyncEngine* sync, bool signedIn)
{
    if (!signedIn || !sync) {
        setSyncState(SyncCloudIcon::NotSignedIn, tr("Not signed in"));
        hideBusy();
        return;
    }
    static const QHash<int, int> codes{{SyncEngine::Idle, SyncCloudIcon::Idle},
                                       {SyncEngine::Pending, SyncCloudIcon::Pending},
                                       {SyncEngine::Syncing, SyncCloudIcon::Syncing},
                                       {SyncEngine::Error, SyncCloudIcon::Error},
                                       {SyncEngine::Offline, SyncCloudIcon::Offline}};
    QStringList lines{SyncEngine::stateText(sync->state())};
    if (sync->state() == SyncEngine::Error && !sync->lastError().isEmpty())
        lines << sync->lastError();
    lines += sync->leftBehind();
    if (sync->state() != SyncEngine::Syncing)
        hideBusy();
    setSyncState(codes.value(sync->state(), SyncCloudIcon::Idle), lines.join(QLatin1Char('\n')));
}

void StatusBar::showBusy(const QString& text)
{
    m_busyLabel->setText(text);
    m_busyLabel->show();
    m_busyIndicator->show();
}

void StatusBar::hideBusy()
{
    m_busyLabel->hide();
    m_busyIndicator->hide();
}
