#include "VersionHistoryDialog.h"

#include "AppState.h"
#include "Clock.h"
#include "Interaction.h"
#include "NoteActions.h"
#include "NoteEditor.h"
#include "NoteRepository.h"
#include "Records.h"
#include "SnapshotRepository.h"
#include "UiLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

VersionHistoryDialog::VersionHistoryDialog(AppState* appState, const QString& noteId, QWidget* parent)
    : QDialog(parent)
    , m_state(appState)
    , m_noteId(noteId)
{
    setObjectName(QStringLiteral("versionHistoryDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Version History"));
    resize(800, 500);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("versionSplitter"));

    auto* left = new QWidget(splitter);
    m_list = new QListWidget(left);
    m_list->setSpacing(3);
    m_list->setObjectName(QStringLiteral("snapshotList"));
    m_reach = new QLabel(left);
    m_reach->setObjectName(QStringLiteral("historyReachLabel"));
    m_reach->setWordWrap(true);
    m_saveButton = new QPushButton(tr("Save Snapshot Now"), left);
    m_saveButton->setObjectName(QStringLiteral("saveSnapshotButton"));
    m_restoreButton = new QPushButton(tr("Restore Selected"), left);
    m_restoreButton->setObjectName(QStringLiteral("restoreSnapshotButton"));
    m_restoreButton->setEnabled(false);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_list);
    leftLayout->addWidget(m_reach);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_restoreButton);
    leftLayout->addLayout(buttons);

    m_preview = new NoteEditor(appState->attachments(), splitter);
    m_preview->setObjectName(QStringLiteral("snapshotPreview"));
    m_preview->setReadOnly(true);
    splitter->addWidget(left);
    splitter->addWidget(m_preview);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_list, &QListWidget::currentRowChanged, this, &VersionHistoryDialog::showSelected);
    connect(m_saveButton, &QPushButton::clicked, this, &VersionHistoryDialog::saveSnapshotNow);
    connect(m_restoreButton, &QPushButton::clicked, this, &VersionHistoryDialog::restoreSelected);
    reload();
}

void VersionHistoryDialog::reload()
{
    m_list->clear();
    const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(m_noteId);
    for (const Snapshot& snapshot : snapshots) {
        const QString when = snapshot.createdAt.toLocalTime().toString(QStringLiteral("MMM d, yyyy h:mm AP"));
        const QString label = SnapshotRepository::isKept(snapshot) ? tr("Edit kept from this device — %1").arg(when)
                                                                   : tr("v%1 — %2").arg(snapshot.version).arg(when);
        auto* item = new QListWidgetItem(label, m_list);
        item->setData(Qt::UserRole, snapshot.id);
    }
    // Old versions are thinned out rather than kept one by one, so the list says how far it reaches.
    m_reach->setText(snapshots.isEmpty()
                         ? QString()
                         : tr("Goes back to %1. Recent versions are all kept, older ones fewer.")
                               .arg(snapshots.last().createdAt.toLocalTime().toString(QStringLiteral("MMM d, yyyy"))));
    m_reach->setVisible(!snapshots.isEmpty());
    if (snapshots.isEmpty()) {
        // A hint rather than an empty list; it carries no id, so selecting it loads nothing.
        new QListWidgetItem(tr("No snapshots yet. Press Ctrl+S to save one."), m_list);
    }
    m_restoreButton->setEnabled(false);
    m_preview->clear();
}

void VersionHistoryDialog::showSelected(int row)
{
    QListWidgetItem* item = row >= 0 ? m_list->item(row) : nullptr;
    const QString id = item ? item->data(Qt::UserRole).toString() : QString();
    const std::optional<Snapshot> snapshot = id.isEmpty() ? std::nullopt : m_state->snapshots()->snapshotById(id);
    m_restoreButton->setEnabled(snapshot.has_value() && mayEditNote());
    if (!snapshot) {
        m_preview->clear();
        return;
    }
    m_preview->loadNote(QStringLiteral("preview"), snapshot->body, true);
    m_preview->setReadOnly(true);
}

// A note someone shared for viewing only is theirs to change, not ours to restore.
bool VersionHistoryDialog::mayEditNote() const
{
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    return note && NoteActions::mayEdit(*note);
}

bool VersionHistoryDialog::snapshotCurrentBody()
{
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note) {
        qCWarning(lcUi) << "VersionHistoryDialog: note not found" << m_noteId;
        return false;
    }
    Snapshot snapshot;
    snapshot.id = newId();
    snapshot.noteId = m_noteId;
    snapshot.version = note->version;
    snapshot.body = note->body;
    snapshot.createdAt = Clock::nowUtc();
    return m_state->snapshots()->insert(snapshot);
}

void VersionHistoryDialog::saveSnapshotNow()
{
    snapshotCurrentBody();
    reload();
}

void VersionHistoryDialog::restoreSelected()
{
    QListWidgetItem* item = m_list->currentItem();
    const QString id = item ? item->data(Qt::UserRole).toString() : QString();
    const std::optional<Snapshot> snapshot = id.isEmpty() ? std::nullopt : m_state->snapshots()->snapshotById(id);
    if (!snapshot || !mayEditNote())
        return;
    if (Interaction::question(this, tr("Restore Snapshot"),
                              tr("Replace current content with this snapshot? A snapshot of the current "
                                 "content will be saved first.")) != QMessageBox::Yes)
        return;

    // Keep what is there now, so a restore can itself be undone from the history.
    if (!snapshotCurrentBody())
        return;
    std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note)
        return;
    // A restore is an edit like any other: it must reach the other devices on the next sync.
    const QDateTime now = Clock::nowUtc();
    note->body = snapshot->body;
    note->updatedAt = now;
    note->modifiedAt = now;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (!m_state->notes()->update(*note)) {
        qCWarning(lcUi) << "VersionHistoryDialog: restoring snapshot failed" << snapshot->id;
        return;
    }
    emit m_state->noteUpdatedExternally(m_noteId, this);
    reload();
    Interaction::information(this, tr("Restored"), tr("Snapshot restored successfully."));
}
