#include "AccountScreen.h"

#include "AccountPrompts.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace NorvAccount {

namespace {

constexpr int kErrorMs = 4000;
constexpr int kSuccessMs = 3000;
// Actions the service does not answer in detail are followed by a look at the real state.
constexpr int kLateRefreshMs = 500;

QFont adjusted(QFont font, int pointDelta, QFont::Weight weight = QFont::Normal)
{
    if (font.pointSize() > 0)
        font.setPointSize(std::max(font.pointSize() + pointDelta, 7));
    font.setWeight(weight);
    return font;
}

QLabel* secondary(const QString& text, QWidget* parent = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setFont(adjusted(label->font(), -1));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    label->setWordWrap(true);
    return label;
}

QLabel* badge(const QString& text, const char* colour, int pointDelta)
{
    auto* label = new QLabel(text);
    label->setFont(adjusted(label->font(), pointDelta, QFont::Medium));
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    return label;
}

void addSection(QVBoxLayout* layout, const QString& title, const QString& subtitle = QString())
{
    auto* box = new QVBoxLayout;
    box->setContentsMargins(0, 0, 0, 8);
    box->setSpacing(2);
    auto* heading = new QLabel(title);
    heading->setObjectName(QStringLiteral("sectionTitle"));
    heading->setFont(adjusted(heading->font(), 1, QFont::Medium));
    box->addWidget(heading);
    if (!subtitle.isEmpty()) {
        QLabel* sub = secondary(subtitle);
        sub->setFont(adjusted(sub->font(), -1));
        box->addWidget(sub);
    }
    layout->addLayout(box);
}

void addSeparator(QVBoxLayout* layout)
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
}

QPushButton* button(const QString& text, const QString& objectName)
{
    auto* b = new QPushButton(text);
    b->setObjectName(objectName);
    return b;
}

// A list row: indented, the texts on the left, the given widget on the right.
QWidget* listRow(const QList<QWidget*>& lines, QWidget* right)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 6, 0, 6);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    for (QWidget* line : lines)
        texts->addWidget(line);
    layout->addLayout(texts, 1);
    if (right)
        layout->addWidget(right, 0, Qt::AlignVCenter);
    return row;
}

void clearLayout(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        } else if (QLayout* child = item->layout()) {
            clearLayout(child);
        }
        delete item;
    }
}

QString colourName(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}

} // namespace

AccountScreen::AccountScreen(Client* account, QWidget* parent)
    : QWidget(parent)
    , m_account(account)
{
    setObjectName(QStringLiteral("accountScreen"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_navigation = new QListWidget(this);
    m_navigation->setObjectName(QStringLiteral("accountNavigation"));
    m_navigation->setFixedWidth(180);
    m_navigation->setSpacing(2);
    m_navigation->addItems({tr("Profile"), tr("Group"), tr("Devices"), tr("Security"), tr("Data & Privacy")});
    applyNavigationStyle();
    layout->addWidget(m_navigation);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    m_stack->addWidget(buildProfilePage());
    m_stack->addWidget(newListPage(tr("Group"), QStringLiteral("groupPage"), &m_groupContent));
    m_stack->addWidget(newListPage(tr("Devices"), QStringLiteral("devicesPage"), &m_devicesContent));
    m_stack->addWidget(newListPage(tr("Security"), QStringLiteral("securityPage"), &m_sessionsContent));
    m_stack->addWidget(buildPrivacyPage());
    right->addWidget(m_stack, 1);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setFixedHeight(24);
    m_status->setFont(adjusted(m_status->font(), -1));
    right->addWidget(m_status);
    layout->addLayout(right, 1);

    m_statusTimer = new QTimer(this);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, m_status, &QLabel::clear);
    connect(m_navigation, &QListWidget::currentRowChanged, m_stack, &QStackedWidget::setCurrentIndex);
    m_navigation->setCurrentRow(0);

    rebuildGroup(Group());
    rebuildDevices({});
    rebuildSessions({});
}

void AccountScreen::applyNavigationStyle()
{
    const QPalette palette = QApplication::palette();
    const QColor window = palette.color(QPalette::Window);
    const bool darkWindow = window.lightness() < 128;
    const QColor alternate = palette.color(QPalette::AlternateBase);
    const QColor background = alternate.isValid() ? alternate : window.lighter(darkWindow ? 115 : 97);
    const QColor hover = darkWindow ? window.lighter(135) : window.darker(105);
    m_navigation->setStyleSheet(
        QStringLiteral("QListWidget {  background: %1; border: none; padding: 12px 8px;}QListWidget::item {  padding: "
                       "8px 12px; border-radius: 6px;}QListWidget::item:hover { background: %2; "
                       "}QListWidget::item:selected { background: %3; color: %4; }")
            .arg(colourName(background), colourName(hover), colourName(palette.color(QPalette::Highlight)),
                 colourName(palette.color(QPalette::HighlightedText))) +
        // The rounded selection says which page is showing; the style's focus frame inside it only adds noise.
        QStringLiteral("QListWidget { outline: none; }"));
}

static QVBoxLayout* newPageLayout(QWidget* page, const QString& title)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    auto* heading = new QLabel(title, page);
    heading->setObjectName(QStringLiteral("pageTitle"));
    heading->setFont(adjusted(heading->font(), 4, QFont::DemiBold));
    layout->addWidget(heading);
    return layout;
}

QWidget* AccountScreen::newListPage(const QString& title, const QString& objectName, QVBoxLayout** content)
{
    auto* page = new QWidget;
    page->setObjectName(objectName);
    QVBoxLayout* layout = newPageLayout(page, title);
    *content = new QVBoxLayout;
    (*content)->setSpacing(8);
    layout->addLayout(*content);
    layout->addStretch(1);
    return page;
}

QWidget* AccountScreen::buildProfilePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("profilePage"));
    QVBoxLayout* layout = newPageLayout(page, tr("Profile"));
    addSection(layout, tr("Personal Information"));
    m_displayName = new QLabel(tr("(not set)"), page);
    m_displayName->setObjectName(QStringLiteral("displayNameLabel"));
    m_email = new QLabel(page);
    m_email->setObjectName(QStringLiteral("emailLabel"));
    layout->addWidget(m_displayName);
    layout->addWidget(m_email);
    auto* buttons = new QHBoxLayout;
    m_editNameButton = button(tr("Edit Display Name"), QStringLiteral("editDisplayNameButton"));
    QPushButton* signOut = button(tr("Sign Out"), QStringLiteral("signOutButton"));
    buttons->addWidget(m_editNameButton);
    buttons->addWidget(signOut);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    addSeparator(layout);
    addSection(layout, tr("Password"), tr("Change your account password."));
    auto* passwordRow = new QHBoxLayout;
    QPushButton* password = button(tr("Change Password"), QStringLiteral("changePasswordButton"));
    passwordRow->addWidget(password);
    passwordRow->addStretch(1);
    layout->addLayout(passwordRow);
    layout->addStretch(1);

    connect(m_editNameButton, &QPushButton::clicked, this, &AccountScreen::editDisplayName);
    connect(signOut, &QPushButton::clicked, this, &AccountScreen::logoutRequested);
    connect(password, &QPushButton::clicked, this, &AccountScreen::changePassword);
    return page;
}

QWidget* AccountScreen::buildPrivacyPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("privacyPage"));
    QVBoxLayout* layout = newPageLayout(page, tr("Data & Privacy"));
    addSection(layout, tr("Danger Zone"), tr("Permanently delete your account. This cannot be undone after 30 days."));
    auto* row = new QHBoxLayout;
    m_deleteButton = button(tr("Delete Account"), QStringLiteral("deleteAccountButton"));
    m_deleteButton->setStyleSheet(
        QStringLiteral("QPushButton { color: white; background: #C62828; border: none;  border-radius: 4px; padding: "
                       "6px 16px; font-weight: 600; }QPushButton:hover { background: #B71C1C; "
                       "}QPushButton:disabled { background: #666; }"));
    row->addWidget(m_deleteButton);
    row->addStretch(1);
    layout->addLayout(row);
    m_ownerNote = secondary(tr("You are the group owner. Transfer ownership or remove all members before "
                               "deleting your account."),
                            page);
    m_ownerNote->setObjectName(QStringLiteral("ownerNote"));
    m_ownerNote->setContentsMargins(12, 0, 0, 0);
    m_ownerNote->hide();
    layout->addWidget(m_ownerNote);
    layout->addStretch(1);
    connect(m_deleteButton, &QPushButton::clicked, this, &AccountScreen::deleteAccount);
    return page;
}

QString AccountScreen::relativeTime(const QDateTime& when, const QDateTime& now)
{
    if (!when.isValid())
        return tr("Unknown");
    const qint64 seconds = when.secsTo(now);
    if (seconds < 60)
        return tr("Active now");
    if (seconds < 3600)
        return tr("%nm ago", nullptr, int(seconds / 60));
    if (seconds < 86400)
        return tr("%nh ago", nullptr, int(seconds / 3600));
    if (seconds < 604800)
        return tr("%nd ago", nullptr, int(seconds / 86400));
    return when.toLocalTime().toString(QStringLiteral("MMM d, yyyy"));
}

bool AccountScreen::isGroupOwner() const
{
    if (!m_account)
        return false;
    const QString token = m_account->tokenManager()->accessToken();
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    const auto payload = QByteArray::fromBase64Encoding(
        parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!payload)
        return false;
    const QJsonObject claims = QJsonDocument::fromJson(*payload).object();
    return claims.value(QLatin1String("custom"))
               .toObject()
               .value(QLatin1String("nor"))
               .toObject()
               .value(QLatin1String("role"))
               .toString() == QLatin1String("owner");
}

QString AccountScreen::statusText() const
{
    return m_status->text();
}

int AccountScreen::currentPage() const
{
    return m_stack->currentIndex();
}

void AccountScreen::setCurrentPage(int index)
{
    m_navigation->setCurrentRow(index);
    m_stack->setCurrentIndex(index);
}

void AccountScreen::showError(const QString& text)
{
    m_statusError = true;
    m_status->setStyleSheet(QStringLiteral("color: #C62828; padding: 4px;"));
    m_status->setText(text);
    m_statusTimer->start(kErrorMs);
}

void AccountScreen::showSuccess(const QString& text)
{
    m_statusError = false;
    m_status->setStyleSheet(QStringLiteral("color: #2E7D32; padding: 4px;"));
    m_status->setText(text);
    m_statusTimer->start(kSuccessMs);
}

void AccountScreen::refreshAll()
{
    refreshProfile();
    refreshGroup();
    refreshDevices();
    refreshSessions();
}

void AccountScreen::refreshProfile()
{
    if (!m_account)
        return;
    QPointer<AccountScreen> self(this);
    m_account->auth()->fetchCurrentUser([self](const User& user) {
        if (!self)
            return;
        self->m_displayName->setText(user.displayName.isEmpty() ? tr("(not set)") : user.displayName);
        self->m_email->setText(user.email);
        const bool owner = self->isGroupOwner();
        self->m_deleteButton->setEnabled(!owner);
        self->m_ownerNote->setVisible(owner);
        emit self->pageRebuilt(ProfilePage);
    });
}

void AccountScreen::refreshGroup()
{
    if (!m_account)
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->getGroup([self](const Group& group) {
        if (self)
            self->rebuildGroup(group);
    });
}

void AccountScreen::refreshDevices()
{
    if (!m_account)
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->getDevices([self](const QList<Device>& devices) {
        if (self)
            self->rebuildDevices(devices);
    });
}

void AccountScreen::refreshSessions()
{
    if (!m_account)
        return;
    QPointer<AccountScreen> self(this);
    m_account->auth()->listSessions([self](const QList<Session>& sessions, int) {
        if (self)
            self->rebuildSessions(sessions);
    });
}

void AccountScreen::rebuildGroup(const Group& group)
{
    clearLayout(m_groupContent);
    const bool owner = isGroupOwner();
    m_deleteButton->setEnabled(!owner);
    m_ownerNote->setVisible(owner);
    if (group.id.isEmpty()) {
        addSection(m_groupContent, tr("No Group"),
                   tr("You're not part of a group. The group owner can invite you, or you can join with "
                      "an invite code."));
        auto* row = new QHBoxLayout;
        QPushButton* join = button(tr("Join with Invite Code"), QStringLiteral("joinGroupButton"));
        connect(join, &QPushButton::clicked, this, &AccountScreen::joinGroup);
        row->addWidget(join);
        row->addStretch(1);
        m_groupContent->addLayout(row);
        emit pageRebuilt(GroupPage);
        return;
    }
    addSection(m_groupContent, group.name, tr("%1 of %2 seats used").arg(group.members.size()).arg(group.maxSeats));
    addSeparator(m_groupContent);
    addSection(m_groupContent, tr("Members"));
    for (const GroupMember& member : group.members) {
        const bool named = !member.displayName.isEmpty();
        auto* name = new QLabel(named ? member.displayName : member.email);
        name->setFont(adjusted(name->font(), 0, QFont::Medium));
        QList<QWidget*> lines{name};
        if (named)
            lines.append(secondary(member.email));
        QWidget* right = nullptr;
        if (member.isOwner()) {
            right = badge(tr("Owner"), "#00897B", -2);
        } else if (owner) {
            QPushButton* remove = button(tr("Remove"), QStringLiteral("removeMemberButton"));
            connect(remove, &QPushButton::clicked, this, [this, member] { removeMember(member); });
            right = remove;
        }
        QWidget* row = listRow(lines, right);
        row->setObjectName(QStringLiteral("memberRow"));
        m_groupContent->addWidget(row);
    }
    if (owner) {
        if (!group.pendingInvitations.isEmpty()) {
            addSeparator(m_groupContent);
            addSection(m_groupContent, tr("Pending Invitations"));
            for (const GroupInvitation& invitation : group.pendingInvitations) {
                auto* what =
                    new QLabel(invitation.invitedEmail.isEmpty() ? tr("Invite code: %1").arg(invitation.inviteCode)
                                                                 : invitation.invitedEmail);
                what->setTextInteractionFlags(Qt::TextSelectableByMouse);
                QPushButton* revoke = button(tr("Revoke"), QStringLiteral("revokeInvitationButton"));
                connect(revoke, &QPushButton::clicked, this, [this, id = invitation.id] {
                    QPointer<AccountScreen> self(this);
                    m_account->accountClient()->revokeInvitation(id, [self](bool ok) {
                        if (!self)
                            return;
                        if (ok)
                            self->showSuccess(tr("Invitation revoked."));
                        else
                            self->showError(tr("Could not revoke the invitation."));
                        QTimer::singleShot(kLateRefreshMs, self, &AccountScreen::refreshGroup);
                    });
                });
                QWidget* row = listRow({what}, revoke);
                row->setObjectName(QStringLiteral("invitationRow"));
                m_groupContent->addWidget(row);
            }
        }
        addSeparator(m_groupContent);
        addSection(m_groupContent, tr("Invite Members"));
        auto* row = new QHBoxLayout;
        QPushButton* byEmail = button(tr("Invite by Email"), QStringLiteral("inviteByEmailButton"));
        QPushButton* code = button(tr("Generate Invite Code"), QStringLiteral("generateCodeButton"));
        connect(byEmail, &QPushButton::clicked, this, &AccountScreen::inviteByEmail);
        connect(code, &QPushButton::clicked, this, &AccountScreen::generateInviteCode);
        row->addWidget(byEmail);
        row->addWidget(code);
        row->addStretch(1);
        m_groupContent->addLayout(row);
    } else {
        m_groupContent->addSpacing(12);
        addSeparator(m_groupContent);
        auto* row = new QHBoxLayout;
        QPushButton* leave = button(tr("Leave Group"), QStringLiteral("leaveGroupButton"));
        connect(leave, &QPushButton::clicked, this, &AccountScreen::leaveGroup);
        row->addWidget(leave);
        row->addStretch(1);
        m_groupContent->addLayout(row);
    }
    emit pageRebuilt(GroupPage);
}

void AccountScreen::rebuildDevices(const QList<Device>& devices)
{
    clearLayout(m_devicesContent);
    addSection(m_devicesContent, tr("Registered Devices"), tr("Devices that have synced with your account."));
    if (devices.isEmpty())
        m_devicesContent->addWidget(new QLabel(tr("No devices registered.")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Device& device : devices) {
        const QString name = device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName;
        auto* title = new QLabel(QStringLiteral("<b>%1</b>").arg(name.toHtmlEscaped()));
        title->setTextFormat(Qt::RichText);
        QString platform = device.platform;
        if (!device.appVersion.isEmpty())
            platform += QStringLiteral("  ·  v%1").arg(device.appVersion);
        QLabel* platformLine = secondary(platform);
        platformLine->setObjectName(QStringLiteral("platformLine"));
        QPushButton* remove = button(tr("Remove"), QStringLiteral("removeDeviceButton"));
        connect(remove, &QPushButton::clicked, this, [this, device, name] {
            if (!prompts().question(this, tr("Remove Device"), tr("Remove %1?").arg(name)))
                return;
            QPointer<AccountScreen> self(this);
            m_account->accountClient()->removeDevice(device.id, [self](bool ok) {
                if (!self)
                    return;
                if (ok)
                    self->showSuccess(tr("Device removed."));
                else
                    self->showError(tr("Could not remove the device."));
                QTimer::singleShot(kLateRefreshMs, self, &AccountScreen::refreshDevices);
            });
        });
        QWidget* row = listRow({title, platformLine, secondary(relativeTime(device.lastSyncAt, now))}, remove);
        row->setObjectName(QStringLiteral("deviceRow"));
        m_devicesContent->addWidget(row);
    }
    emit pageRebuilt(DevicesPage);
}

void AccountScreen::rebuildSessions(const QList<Session>& sessions)
{
    clearLayout(m_sessionsContent);
    addSection(m_sessionsContent, tr("Active Sessions"), tr("Sessions currently signed in to your account."));
    if (sessions.isEmpty())
        m_sessionsContent->addWidget(new QLabel(tr("No active sessions.")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Session& session : sessions) {
        QString agent = session.userAgent;
        if (agent.isEmpty())
            agent = tr("Unknown client");
        else if (agent.size() > 60)
            agent = agent.left(60) + QStringLiteral("...");
        auto* title = new QLabel(agent);
        title->setObjectName(QStringLiteral("userAgentLabel"));
        title->setFont(adjusted(title->font(), 0, QFont::Medium));
        QString detail = session.isCurrent ? tr("This session") : relativeTime(session.lastActiveAt, now);
        if (!session.ipAddress.isEmpty())
            detail += QStringLiteral("  ·  %1").arg(session.ipAddress);
        QWidget* right = nullptr;
        if (session.isCurrent) {
            right = badge(tr("Current"), "#2E7D32", 0);
        } else {
            QPushButton* revoke = button(tr("Revoke"), QStringLiteral("revokeSessionButton"));
            connect(revoke, &QPushButton::clicked, this, [this, id = session.id] {
                m_account->auth()->revokeSession(id);
                showSuccess(tr("Session revoked."));
                QTimer::singleShot(kLateRefreshMs, this, &AccountScreen::refreshSessions);
            });
            right = revoke;
        }
        QWidget* row = listRow({title, secondary(detail)}, right);
        row->setObjectName(QStringLiteral("sessionRow"));
        m_sessionsContent->addWidget(row);
    }
    emit pageRebuilt(SecurityPage);
}

void AccountScreen::editDisplayName()
{
    bool ok = false;
    const QString name =
        prompts()
            .getText(this, tr("Edit Display Name"), tr("Display name:"), m_displayName->text(), QLineEdit::Normal, &ok)
            .trimmed();
    if (!ok || name.isEmpty() || !m_account)
        return;
    m_editNameButton->setEnabled(false);
    QPointer<AccountScreen> self(this);
    m_account->auth()->updateProfile(name, [self, name](const User& user) {
        if (!self)
            return;
        self->m_editNameButton->setEnabled(true);
        // A failed change hands back the user as last known, so only the new name counts as success.
        if (user.id.isEmpty() || user.displayName != name) {
            self->showError(tr("Failed to update profile."));
            return;
        }
        self->m_displayName->setText(user.displayName);
        self->showSuccess(tr("Display name updated."));
    });
}

void AccountScreen::changePassword()
{
    const QString title = tr("Change Password");
    bool ok = false;
    const QString current =
        prompts().getText(this, title, tr("Current password:"), QString(), QLineEdit::Password, &ok);
    if (!ok || current.isEmpty())
        return;
    const QString next =
        prompts().getText(this, title, tr("New password (min 8 characters):"), QString(), QLineEdit::Password, &ok);
    if (!ok || next.isEmpty())
        return;
    if (next.size() < 8) {
        showError(tr("Password must be at least 8 characters."));
        return;
    }
    const QString confirm =
        prompts().getText(this, title, tr("Confirm new password:"), QString(), QLineEdit::Password, &ok);
    if (!ok)
        return;
    if (confirm != next) {
        showError(tr("Passwords do not match."));
        return;
    }
    QPointer<AccountScreen> self(this);
    m_account->auth()->changePassword(current, next, [self](bool changed) {
        if (!self)
            return;
        if (changed)
            self->showSuccess(tr("Password changed."));
        else
            self->showError(tr("Failed to change password."));
    });
}

void AccountScreen::joinGroup()
{
    bool ok = false;
    const QString code =
        prompts()
            .getText(this, tr("Join Group"), tr("Enter invite code:"), QString(), QLineEdit::Normal, &ok)
            .trimmed();
    if (!ok || code.isEmpty())
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->joinGroup(code, [self](bool joined) {
        if (!self)
            return;
        if (!joined) {
            self->showError(tr("Invalid or expired invite code."));
            return;
        }
        self->showSuccess(tr("Joined group."));
        self->refreshGroup();
    });
}

void AccountScreen::inviteByEmail()
{
    bool ok = false;
    const QString email =
        prompts()
            .getText(this, tr("Invite by Email"), tr("Email address:"), QString(), QLineEdit::Normal, &ok)
            .trimmed();
    if (!ok || email.isEmpty())
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->inviteByEmail(email, [self](const GroupInvitation& invitation) {
        if (!self)
            return;
        if (invitation.id.isEmpty()) {
            self->showError(tr("Failed to send invitation."));
            return;
        }
        self->showSuccess(tr("Invitation sent."));
        self->refreshGroup();
    });
}

void AccountScreen::generateInviteCode()
{
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->generateInviteCode([self](const GroupInvitation& invitation) {
        if (!self)
            return;
        if (invitation.inviteCode.isEmpty()) {
            self->showError(tr("Failed to generate code."));
            return;
        }
        prompts().information(
            self, tr("Invite Code"),
            tr("Share this code with the person you want to invite:\n\n%1").arg(invitation.inviteCode));
        if (self)
            self->refreshGroup();
    });
}

void AccountScreen::leaveGroup()
{
    if (!prompts().question(this, tr("Leave Group"), tr("Leave this group? You will lose access to shared data.")))
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->leaveGroup([self](bool ok) {
        if (!self)
            return;
        if (ok)
            self->showSuccess(tr("Left group."));
        else
            self->showError(tr("Could not leave the group."));
        self->refreshGroup();
    });
}

void AccountScreen::removeMember(const GroupMember& member)
{
    const QString name = member.displayName.isEmpty() ? member.email : member.displayName;
    if (!prompts().question(this, tr("Remove Member"), tr("Remove %1 from the group?").arg(name)))
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->removeMember(member.accountId, [self, name](bool ok) {
        if (!self)
            return;
        if (ok)
            self->showSuccess(tr("%1 removed.").arg(name));
        else
            self->showError(tr("Could not remove %1.").arg(name));
        self->refreshGroup();
    });
}

void AccountScreen::deleteAccount()
{
    if (isGroupOwner())
        return;
    bool ok = false;
    const QString word =
        prompts().getText(this, tr("Delete Account"),
                          tr("This will schedule your account for permanent deletion after 30 days.\n\nType DELETE to "
                             "confirm:"),
                          QString(), QLineEdit::Normal, &ok);
    if (!ok || word != QLatin1String("DELETE"))
        return;
    QPointer<AccountScreen> self(this);
    m_account->accountClient()->deleteAccount([self](bool deleted) {
        if (!self)
            return;
        if (!deleted) {
            self->showError(tr("Failed to delete account."));
            return;
        }
        prompts().information(self, tr("Account Scheduled for Deletion"),
                              tr("Your account will be permanently deleted in 30 days. You can recover "
                                 "it by signing in before then.\n\nYou are now signed out of this "
                                 "computer. Your notes stay here on this computer."));
        if (self)
            emit self->logoutRequested();
    });
}

} // namespace NorvAccount
