#pragma once

#include "AccountClient.h"
#include "SharingBackend.h"

#include <QColor>
#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace NorvAccount {

class Client;

// The caller's wording; an empty text takes the dialog's default.
struct ShareDialogTexts
{
    QString windowTitle;
    QString heading;
    QString subtitle;
    QString accessHeader;
    QString addHeader;
    QString emptyShares;
    QString noGroup;
    QString everyoneHasAccess;
    QString shareButton;
    QString removeTooltip;
    QString closeButton;
    // What the dialog offers first for new shares, "view" or "edit"; anything else is edit. The
    // user chooses per grant, and can change an existing share's permission in its row.
    QString permission;
    QString removeTitle;
    // %1: the person's name.
    QString removeQuestion;
};

// Who has access to one note or notebook, and the group members who can still be added. One grant
// or revocation runs at a time; after each success the lists load again from the services.
class ShareMembersDialog : public QDialog
{
    Q_OBJECT
public:
    ShareMembersDialog(Client* account, SharingBackend* backend, const QString& itemId, const ShareDialogTexts& texts,
                       QWidget* parent = nullptr);

    // Initials for an avatar: one part gives its first letter, more give the first and the last.
    static QString initials(const QString& name, const QString& email);
    // The colour of the initials on an avatar circle of this colour: white on a dark circle, near-black
    // on a light one, whichever stands out more (by relative luminance), so they read in both themes.
    static QColor initialsColour(const QColor& circle);

    bool isBusy() const { return m_busy; }
    // The permission the share buttons grant: "view" or "edit".
    QString permission() const;
    void setPermission(const QString& permission);
    // What has arrived so far (for the tests and the screenshots).
    QList<ShareMember> shares() const { return m_shares; }
    QList<GroupMember> members() const { return m_members; }
    // Whether the profile, the group and the share list have all answered since the last load.
    bool isLoaded() const { return m_pending == 0; }

public slots:
    void reload();

signals:
    void sharingChanged();
    // Every answer rebuilds; this follows each rebuild.
    void rebuilt();

private:
    void rebuild();
    void clearRows(QVBoxLayout* layout);
    QWidget* newRow(const QString& name, const QString& email, QWidget* button);
    QLabel* avatar(const QString& name, const QString& email);
    void grant(const GroupMember& member);
    void revoke(const ShareMember& share, const QString& name);
    void changePermission(const ShareMember& share, const QString& name, const QString& permission);
    static QComboBox* permissionCombo(QWidget* parent);
    void showError(const QString& text);
    QString identityOf(const GroupMember& member) const;
    // The group member a share names, by either of the member's ids.
    const GroupMember* memberFor(const ShareMember& share) const;

    QPointer<Client> m_account;
    QPointer<SharingBackend> m_backend;
    QString m_itemId;
    ShareDialogTexts m_texts;
    QList<GroupMember> m_members;
    QList<ShareMember> m_shares;
    QString m_currentUserId;
    bool m_busy = false;
    int m_pending = 0;
    // Answers of an older load are dropped.
    int m_generation = 0;

    QLabel* m_error = nullptr;
    QLabel* m_permissionLabel = nullptr;
    QComboBox* m_permission = nullptr;
    QVBoxLayout* m_accessRows = nullptr;
    QVBoxLayout* m_addRows = nullptr;
    QLabel* m_noGroupNote = nullptr;
    QLabel* m_everyoneNote = nullptr;
};

} // namespace NorvAccount
