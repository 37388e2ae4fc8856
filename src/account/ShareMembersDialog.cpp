#include "ShareMembersDialog.h"

#include "AccountPrompts.h"
#include "NorvAccountClient.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QVBoxLayout>
#include <cmath>

namespace NorvAccount {

namespace {

QString orDefault(const QString& text, const QString& fallback)
{
    return text.isEmpty() ? fallback : text;
}

QLabel* dimmedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

// Anything but "view" grants edit, as the service reads it.
QString permissionText(const QString& permission)
{
    return permission == QLatin1String("view") ? QStringLiteral("view") : QStringLiteral("edit");
}

} // namespace

QComboBox* ShareMembersDialog::permissionCombo(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->addItem(tr("Can edit"), QStringLiteral("edit"));
    combo->addItem(tr("Can view"), QStringLiteral("view"));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

QString ShareMembersDialog::permission() const
{
    return m_permission->currentData().toString();
}

void ShareMembersDialog::setPermission(const QString& permission)
{
    m_permission->setCurrentIndex(m_permission->findData(permissionText(permission)));
}

ShareMembersDialog::ShareMembersDialog(Client* account, SharingBackend* backend, const QString& itemId,
                                       const ShareDialogTexts& texts, QWidget* parent)
    : QDialog(parent)
    , m_account(account)
    , m_backend(backend)
    , m_itemId(itemId)
    , m_texts(texts)
{
    setObjectName(QStringLiteral("shareMembersDialog"));
    setWindowTitle(texts.windowTitle);
    setMinimumSize(560, 560);
    resize(620, 620);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    if (!texts.heading.isEmpty()) {
        auto* heading = new QLabel(texts.heading, this);
        heading->setObjectName(QStringLiteral("heading"));
        QFont font = heading->font();
        font.setPointSize(font.pointSize() + 2);
        font.setWeight(QFont::DemiBold);
        heading->setFont(font);
        heading->setWordWrap(true);
        layout->addWidget(heading);
    }
    if (!texts.subtitle.isEmpty())
        layout->addWidget(dimmedLabel(texts.subtitle, this));
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color: rgba(128,128,128,0.25);"));
    layout->addWidget(line);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("errorLabel"));
    m_error->setStyleSheet(QStringLiteral("QLabel { color: #b00020; padding: 4px 0; }"));
    m_error->setWordWrap(true);
    m_error->hide();
    layout->addWidget(m_error);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);

    auto* accessTitle = new QLabel(orDefault(texts.accessHeader, tr("People with access")), content);
    QFont titleFont = accessTitle->font();
    titleFont.setWeight(QFont::DemiBold);
    accessTitle->setFont(titleFont);
    contentLayout->addWidget(accessTitle);
    m_accessRows = new QVBoxLayout;
    m_accessRows->setSpacing(2);
    contentLayout->addLayout(m_accessRows);

    auto* addSection = new QVBoxLayout;
    addSection->setContentsMargins(0, 8, 0, 0);
    addSection->setSpacing(4);
    auto* addTitleRow = new QHBoxLayout;
    auto* addTitle = new QLabel(orDefault(texts.addHeader, tr("Add people")), content);
    addTitle->setFont(titleFont);
    addTitleRow->addWidget(addTitle, 1);
    m_permissionLabel = new QLabel(tr("They can:"), content);
    addTitleRow->addWidget(m_permissionLabel);
    m_permission = permissionCombo(content);
    m_permission->setObjectName(QStringLiteral("permissionCombo"));
    m_permission->setToolTip(tr("What the people you add may do: change the text, or only read it"));
    m_permission->setCurrentIndex(m_permission->findData(permissionText(texts.permission)));
    m_permissionLabel->setBuddy(m_permission);
    addTitleRow->addWidget(m_permission);
    addSection->addLayout(addTitleRow);
    m_addRows = new QVBoxLayout;
    m_addRows->setSpacing(2);
    addSection->addLayout(m_addRows);
    m_noGroupNote =
        dimmedLabel(orDefault(texts.noGroup,
                              tr("You're not in a group yet. Invite people from Manage Account to share with them.")),
                    content);
    m_noGroupNote->setObjectName(QStringLiteral("noGroupNote"));
    m_noGroupNote->setContentsMargins(0, 8, 0, 0);
    m_noGroupNote->hide();
    addSection->addWidget(m_noGroupNote);
    m_everyoneNote =
        dimmedLabel(orDefault(texts.everyoneHasAccess, tr("All group members already have access")), content);
    m_everyoneNote->setObjectName(QStringLiteral("everyoneNote"));
    m_everyoneNote->setContentsMargins(0, 8, 0, 0);
    m_everyoneNote->hide();
    addSection->addWidget(m_everyoneNote);
    contentLayout->addLayout(addSection);
    contentLayout->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* close = new QPushButton(orDefault(texts.closeButton, tr("Close")), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    reload();
}

QString ShareMembersDialog::initials(const QString& name, const QString& email)
{
    const QStringList parts = name.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString result;
    if (parts.size() == 1)
        result = parts.first().left(1);
    else if (parts.size() > 1)
        result = parts.first().left(1) + parts.last().left(1);
    else if (!email.isEmpty())
        result = email.left(1);
    else
        result = QStringLiteral("?");
    return result.toUpper();
}

void ShareMembersDialog::reload()
{
    const int generation = ++m_generation;
    m_pending = 2;
    QPointer<ShareMembersDialog> self(this);
    if (m_account && m_account->accountClient()) {
        AccountClient* accounts = m_account->accountClient();
        m_pending = 3;
        accounts->getProfile([self, generation, accounts = QPointer<AccountClient>(accounts)](const Profile& profile) {
            if (!self || generation != self->m_generation)
                return;
            self->m_currentUserId = profile.id;
            --self->m_pending;
            if (!accounts) {
                --self->m_pending;
                self->rebuild();
                return;
            }
            accounts->getGroup([self, generation](const Group& group) {
                if (!self || generation != self->m_generation)
                    return;
                self->m_members = group.members;
                --self->m_pending;
                self->rebuild();
            });
        });
    } else {
        m_pending = 1;
    }
    if (!m_backend) {
        m_pending = std::max(0, m_pending - 1);
        rebuild();
        return;
    }
    m_backend->listMembers(m_itemId, [self, generation](const QList<ShareMember>& shares) {
        if (!self || generation != self->m_generation)
            return;
        self->m_shares = shares;
        --self->m_pending;
        self->rebuild();
    });
}

QString ShareMembersDialog::identityOf(const GroupMember& member) const
{
    return m_backend ? m_backend->memberIdentity(member) : member.accountId;
}

const GroupMember* ShareMembersDialog::memberFor(const ShareMember& share) const
{
    if (share.sharedWithAccountId.isEmpty())
        return nullptr;
    for (const GroupMember& member : m_members) {
        if (share.sharedWithAccountId == identityOf(member) || share.sharedWithAccountId == member.accountId ||
            share.sharedWithAccountId == member.authUserId)
            return &member;
    }
    return nullptr;
}

void ShareMembersDialog::clearRows(QVBoxLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

QColor ShareMembersDialog::initialsColour(const QColor& circle)
{
    // Relative luminance as the web's contrast guidelines define it: 0 for black, 1 for white.
    auto luminance = [](const QColor& colour) {
        auto linear = [](double c) {
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const QColor light(Qt::white);
    const QColor dark(0x1E, 0x1E, 0x1E);
    const double l = luminance(circle);
    // Contrast ratio, (lighter + 0.05) / (darker + 0.05), of the circle with each candidate.
    const double withLight = (luminance(light) + 0.05) / (l + 0.05);
    const double withDark = (l + 0.05) / (luminance(dark) + 0.05);
    return withLight >= withDark ? light : dark;
}

QLabel* ShareMembersDialog::avatar(const QString& name, const QString& email)
{
    constexpr int d = 36;
    auto* label = new QLabel(initials(name, email));
    label->setFixedSize(d, d);
    label->setAlignment(Qt::AlignCenter);
    QColor colour = palette().color(QPalette::Highlight);
    colour.setAlphaF(0.55);
    // The style sheet takes the colour without its alpha; the initials are chosen for that colour.
    label->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %3; border-radius: %2px; font-weight: "
                                        "600; }")
                             .arg(colour.name(QColor::HexRgb))
                             .arg(d / 2)
                             .arg(initialsColour(colour).name(QColor::HexRgb)));
    QFont font = label->font();
    font.setPointSize(std::max(d / 3, 8));
    label->setFont(font);
    return label;
}

QWidget* ShareMembersDialog::newRow(const QString& name, const QString& email, QWidget* button)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    layout->addWidget(avatar(name, email));
    auto* text = new QVBoxLayout;
    text->setSpacing(0);
    auto* nameLabel = new QLabel(name.isEmpty() ? email : name, row);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    QFont font = nameLabel->font();
    font.setWeight(QFont::Medium);
    nameLabel->setFont(font);
    text->addWidget(nameLabel);
    if (!name.isEmpty() && !email.isEmpty() && email != name)
        text->addWidget(dimmedLabel(email, row));
    layout->addLayout(text, 1);
    button->setParent(row);
    button->setCursor(Qt::PointingHandCursor);
    layout->addWidget(button);
    return row;
}

void ShareMembersDialog::rebuild()
{
    clearRows(m_accessRows);
    clearRows(m_addRows);

    // A share may name the person by either id; both count as having access.
    QList<ShareMember> collected;
    QSet<QString> sharedIds;
    for (const ShareMember& share : std::as_const(m_shares)) {
        if (share.permission == QLatin1String("owner"))
            continue;
        collected.append(share);
        sharedIds.insert(share.sharedWithAccountId);
    }
    if (collected.isEmpty()) {
        QLabel* empty = dimmedLabel(orDefault(m_texts.emptyShares, tr("Not shared with anyone yet.")), this);
        empty->setObjectName(QStringLiteral("emptySharesLabel"));
        empty->setContentsMargins(0, 4, 0, 4);
        m_accessRows->addWidget(empty);
    }
    for (const ShareMember& share : std::as_const(collected)) {
        QString name = share.sharedWithDisplayName;
        QString email = share.sharedWithEmail;
        if (const GroupMember* member = memberFor(share); member && (name.isEmpty() || email.isEmpty())) {
            if (name.isEmpty())
                name = member->displayName;
            if (email.isEmpty())
                email = member->email;
        }
        auto* remove = new QPushButton(QStringLiteral("×"));
        remove->setObjectName(QStringLiteral("removeButton"));
        remove->setFixedSize(28, 28);
        QFont font = remove->font();
        font.setPointSize(font.pointSize() + 4);
        remove->setFont(font);
        remove->setToolTip(orDefault(m_texts.removeTooltip, tr("Remove access")));
        const QString shown = name.isEmpty() ? email : name;
        connect(remove, &QPushButton::clicked, this, [this, share, shown] { revoke(share, shown); });
        QWidget* row = newRow(name, email, remove);
        row->setObjectName(QStringLiteral("shareRow"));
        // What this person may do, changed in place: the service replaces the permission of an
        // existing share.
        QComboBox* access = permissionCombo(row);
        access->setObjectName(QStringLiteral("sharePermission"));
        access->setCurrentIndex(access->findData(permissionText(share.permission)));
        access->setEnabled(!share.sharedWithAccountId.isEmpty());
        access->setAccessibleName(tr("Permission of %1").arg(shown));
        connect(access, &QComboBox::activated, this, [this, access, share, shown] {
            const QString chosen = access->currentData().toString();
            if (chosen != permissionText(share.permission))
                changePermission(share, shown, chosen);
        });
        static_cast<QHBoxLayout*>(row->layout())->insertWidget(row->layout()->count() - 1, access);
        m_accessRows->addWidget(row);
    }

    if (m_members.isEmpty()) {
        m_noGroupNote->show();
        m_everyoneNote->hide();
        m_permissionLabel->hide();
        m_permission->hide();
        emit rebuilt();
        return;
    }
    QString self;
    for (const GroupMember& member : std::as_const(m_members)) {
        if (!m_currentUserId.isEmpty() && member.accountId == m_currentUserId) {
            self = identityOf(member);
            break;
        }
    }
    int added = 0;
    for (const GroupMember& member : std::as_const(m_members)) {
        const QString identity = identityOf(member);
        if ((!self.isEmpty() && identity == self) || sharedIds.contains(identity) ||
            sharedIds.contains(member.accountId) ||
            (!member.authUserId.isEmpty() && sharedIds.contains(member.authUserId)))
            continue;
        auto* share = new QPushButton(orDefault(m_texts.shareButton, tr("Share")));
        share->setObjectName(QStringLiteral("shareButton"));
        connect(share, &QPushButton::clicked, this, [this, member] { grant(member); });
        QWidget* row = newRow(member.displayName, member.email, share);
        row->setObjectName(QStringLiteral("memberRow"));
        m_addRows->addWidget(row);
        ++added;
    }
    m_noGroupNote->hide();
    m_everyoneNote->setVisible(added == 0);
    // The permission for new shares matters only while someone can still be added.
    m_permissionLabel->setVisible(added > 0);
    m_permission->setVisible(added > 0);
    emit rebuilt();
}

void ShareMembersDialog::showError(const QString& text)
{
    m_error->setText(text);
    m_error->show();
}

void ShareMembersDialog::grant(const GroupMember& member)
{
    if (m_busy || !m_backend)
        return;
    m_busy = true;
    m_error->hide();
    const QString name = member.displayName.isEmpty() ? member.email : member.displayName;
    QPointer<ShareMembersDialog> self(this);
    m_backend->shareWith(m_itemId, identityOf(member), permission(), [self, name](bool ok, const QString& error) {
        if (!self)
            return;
        self->m_busy = false;
        if (!ok) {
            self->showError(error.isEmpty() ? tr("Could not share with %1.").arg(name) : error);
            return;
        }
        emit self->sharingChanged();
        self->reload();
    });
}

void ShareMembersDialog::changePermission(const ShareMember& share, const QString& name, const QString& permission)
{
    if (m_busy || !m_backend) {
        rebuild(); // puts the row's choice back
        return;
    }
    m_busy = true;
    m_error->hide();
    QPointer<ShareMembersDialog> self(this);
    m_backend->shareWith(m_itemId, share.sharedWithAccountId, permission, [self, name](bool ok, const QString& error) {
        if (!self)
            return;
        self->m_busy = false;
        if (!ok) {
            self->showError(error.isEmpty() ? tr("Could not change what %1 may do.").arg(name) : error);
            self->rebuild();
            return;
        }
        emit self->sharingChanged();
        self->reload();
    });
}

void ShareMembersDialog::revoke(const ShareMember& share, const QString& name)
{
    if (m_busy || !m_backend)
        return;
    const QString question =
        orDefault(m_texts.removeQuestion, tr("%1 will no longer have access. Continue?")).arg(name);
    if (!prompts().question(this, orDefault(m_texts.removeTitle, tr("Remove access?")), question))
        return;
    m_busy = true;
    m_error->hide();
    QPointer<ShareMembersDialog> self(this);
    m_backend->removeShare(m_itemId, share.id, [self, name](bool ok) {
        if (!self)
            return;
        self->m_busy = false;
        if (!ok) {
            self->showError(tr("Could not remove %1.").arg(name));
            return;
        }
        emit self->sharingChanged();
        self->reload();
    });
}

} // namespace NorvAccount
