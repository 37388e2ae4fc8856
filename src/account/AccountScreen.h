#pragma once

#include "AccountClient.h"
#include "AuthClient.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTimer;
class QVBoxLayout;

namespace NorvAccount {

class Client;

// Where a signed-in user manages the account: profile and password, the group, the devices that
// have synced, the signed-in sessions, and deletion of the account. Every refresh rebuilds its page
// from the services' answers; actions report on the status line under the pages.
class AccountScreen : public QWidget
{
    Q_OBJECT
public:
    enum Page
    {
        ProfilePage = 0,
        GroupPage,
        DevicesPage,
        SecurityPage,
        PrivacyPage,
    };

    explicit AccountScreen(Client* account, QWidget* parent = nullptr);

    // "Active now", "%1m ago", "%1h ago", "%1d ago" or the date, from when to now.
    static QString relativeTime(const QDateTime& when, const QDateTime& now);
    // Whether the access token names the user as the group's owner.
    bool isGroupOwner() const;

    QString statusText() const;
    bool statusIsError() const { return m_statusError; }
    int currentPage() const;

public slots:
    void refreshAll();
    void refreshProfile();
    void refreshGroup();
    void refreshDevices();
    void refreshSessions();
    void setCurrentPage(int index);

signals:
    void logoutRequested();
    // Each page's content was rebuilt from an answer (for the tests and the screenshots).
    void pageRebuilt(int page);

private:
    QWidget* buildProfilePage();
    QWidget* buildPrivacyPage();
    QWidget* newListPage(const QString& title, const QString& objectName, QVBoxLayout** content);
    void rebuildGroup(const Group& group);
    void rebuildDevices(const QList<Device>& devices);
    void rebuildSessions(const QList<Session>& sessions);
    void showError(const QString& text);
    void showSuccess(const QString& text);
    void applyNavigationStyle();

    void editDisplayName();
    void changePassword();
    void joinGroup();
    void inviteByEmail();
    void generateInviteCode();
    void leaveGroup();
    void removeMember(const GroupMember& member);
    void deleteAccount();

    QPointer<Client> m_account;
    QListWidget* m_navigation = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_statusTimer = nullptr;
    bool m_statusError = false;

    QLabel* m_displayName = nullptr;
    QLabel* m_email = nullptr;
    QPushButton* m_editNameButton = nullptr;
    QVBoxLayout* m_groupContent = nullptr;
    QVBoxLayout* m_devicesContent = nullptr;
    QVBoxLayout* m_sessionsContent = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QLabel* m_ownerNote = nullptr;
};

} // namespace NorvAccount
