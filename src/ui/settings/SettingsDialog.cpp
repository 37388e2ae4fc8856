#include "SettingsDialog.h"

#include "AccountClient.h"
#include "AppState.h"
#include "NorvAccountClient.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "ThemeManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const char* const kListStyle = "QListWidget {"
                               "  background: %1;"
                               "  border: none;"
                               "  padding: 14px 10px;"
                               "  font-family: 'IBM Plex Sans';"
                               "  font-size: 13px;"
                               "}"
                               "QListWidget::item {"
                               "  color: %2;"
                               "  padding: 9px 12px;"
                               "  border-radius: 6px;"
                               "}"
                               "QListWidget::item:hover { background: %3; }"
                               "QListWidget::item:selected { background: %4; color: %5; }";

struct ListColours
{
    const char* background;
    const char* text;
    const char* hover;
    const char* selectedBackground;
    const char* selectedText;
};

constexpr ListColours kLightList{"#F2F4F7", "#2B3138", "#E6E9EE", "#D9E1EA", "#1A1F26"};
constexpr ListColours kDarkList{"#1B1E22", "#D7DBE0", "#24272C", "#30343A", "#FFFFFF"};

// The dark theme's window colour: anything lighter counts as a light look.
const QColor kDarkWindow(0x1E, 0x1E, 0x1E);

struct FontSizeChoice
{
    const char* label;
    int percent;
};

constexpr FontSizeChoice kFontSizes[] = {
    {QT_TRANSLATE_NOOP("SettingsDialog", "Small"), 85},        {QT_TRANSLATE_NOOP("SettingsDialog", "Default"), 100},
    {QT_TRANSLATE_NOOP("SettingsDialog", "Medium"), 115},      {QT_TRANSLATE_NOOP("SettingsDialog", "Large"), 130},
    {QT_TRANSLATE_NOOP("SettingsDialog", "Extra Large"), 150},
};

const int kIntervalMin = 1;
const int kIntervalMax = 120;

} // namespace

SettingsDialog::SettingsDialog(AppState* appState, QWidget* parent)
    : QDialog(parent)
    , m_state(appState)
{
    Q_ASSERT(appState && appState->preferences() && appState->theme());
    setObjectName(QStringLiteral("settingsDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Preferences"));
    setMinimumSize(720, 520);
    resize(780, 560);

    m_categories = new QListWidget(this);
    m_categories->setObjectName(QStringLiteral("categoryList"));
    m_categories->setFixedWidth(190);
    m_categories->setFrameShape(QFrame::NoFrame);
    m_categories->setFocusPolicy(Qt::NoFocus);
    m_categories->setSpacing(2);
    m_categories->addItems({tr("Appearance"), tr("Editor"), tr("Window"), tr("Sync"), tr("Account")});

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("settingsPages"));
    m_pages->addWidget(buildAppearancePage());
    m_pages->addWidget(buildEditorPage());
    m_pages->addWidget(buildWindowPage());
    m_pages->addWidget(buildSyncPage());
    m_pages->addWidget(buildAccountPage());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_categories);
    layout->addWidget(m_pages, 1);

    connect(m_categories, &QListWidget::currentRowChanged, this, &SettingsDialog::onCategoryChanged);
    m_categories->setCurrentRow(0);

    ThemeManager* theme = m_state->theme();
    connect(theme, &ThemeManager::themeChanged, this, [this] {
        showStoredTheme();
        applyListStyle();
    });
    connect(theme, &ThemeManager::fontScaleChanged, this, &SettingsDialog::showFontScale);
    connect(m_state->preferences(), &PreferencesRepository::changed, this, &SettingsDialog::onPreferenceChanged);
    // Joining or leaving a group on the account screen changes what the account page says.
    if (NorvAccount::Client* account = m_state->account())
        connect(account->accountClient(), &NorvAccount::AccountClient::groupChanged, this,
                &SettingsDialog::showAccountDetails);

    applyListStyle();
    refreshSyncStatus();
    refreshAccount();
}

void SettingsDialog::onCategoryChanged(int row)
{
    if (row >= 0 && row < m_pages->count())
        m_pages->setCurrentIndex(row);
}

void SettingsDialog::setSignedIn(bool signedIn)
{
    m_signedIn = signedIn;
    refreshSyncStatus();
    refreshAccount();
}

void SettingsDialog::setSyncStateText(const QString& text)
{
    m_syncStateText = text;
    refreshSyncStatus();
}

void SettingsDialog::changeEvent(QEvent* event)
{
    // The list carries its own style sheet, so it must be told about a light/dark switch.
    if (event->type() == QEvent::PaletteChange)
        applyListStyle();
    QDialog::changeEvent(event);
}

QWidget* SettingsDialog::buildAppearancePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("appearancePage"));
    QVBoxLayout* layout = newPage(page, tr("Appearance"));
    addDescription(layout, tr("Choose how Norvane Notes looks. System follows your desktop's light or dark mode "
                              "automatically."));

    QGroupBox* themeGroup = addGroup(layout, tr("Theme"));
    m_themeCombo = new QComboBox(themeGroup);
    m_themeCombo->setObjectName(QStringLiteral("themeCombo"));
    m_themeCombo->addItem(tr("System"), QStringLiteral("system"));
    m_themeCombo->addItem(tr("Light"), QStringLiteral("light"));
    m_themeCombo->addItem(tr("Dark"), QStringLiteral("dark"));
    // One-word choices read better in a short box than stretched across the page.
    m_themeCombo->setMinimumWidth(200);
    static_cast<QBoxLayout*>(themeGroup->layout())->addWidget(m_themeCombo, 0, Qt::AlignLeft);
    showStoredTheme();
    connect(m_themeCombo, &QComboBox::currentIndexChanged, this, &SettingsDialog::onThemeChosen);

    QGroupBox* fontGroup = addGroup(layout, tr("Font size"));
    m_fontSizeCombo = new QComboBox(fontGroup);
    m_fontSizeCombo->setObjectName(QStringLiteral("fontSizeCombo"));
    for (const FontSizeChoice& choice : kFontSizes)
        m_fontSizeCombo->addItem(tr(choice.label), choice.percent);
    m_fontSizeCombo->setMinimumWidth(200);
    static_cast<QBoxLayout*>(fontGroup->layout())->addWidget(m_fontSizeCombo, 0, Qt::AlignLeft);
    showFontScale(m_state->theme()->fontScale());
    connect(m_fontSizeCombo, &QComboBox::currentIndexChanged, this, &SettingsDialog::onFontSizeChosen);

    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildEditorPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("editorPage"));
    QVBoxLayout* layout = newPage(page, tr("Editor"));
    addDescription(layout, tr("Steno mode flips the note list so the oldest note is at the top and the search bar "
                              "moves to the bottom — a steno-pad feel for rapid capture."));

    QGroupBox* group = addGroup(layout, tr("Layout"));
    m_stenoCheck = addPreferenceCheck(static_cast<QBoxLayout*>(group->layout()), tr("Enable Steno mode"),
                                      PrefKey::StenoMode, PrefKey::StenoModeDefault, QStringLiteral("stenoCheck"));

    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildWindowPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("windowPage"));
    QVBoxLayout* layout = newPage(page, tr("Window"));
    addDescription(layout, tr("Keep Norvane Notes running in the background for instant capture without a cold "
                              "start."));

    QGroupBox* group = addGroup(layout, tr("System Tray"));
    auto* groupLayout = static_cast<QBoxLayout*>(group->layout());
    m_closeToTrayCheck = addPreferenceCheck(groupLayout, tr("Close to tray"), PrefKey::CloseToTray,
                                            PrefKey::CloseToTrayDefault, QStringLiteral("closeToTrayCheck"));
    addNote(groupLayout, tr("When enabled, closing the window hides it to the system tray instead of quitting."));
    m_startMinimizedCheck = addPreferenceCheck(groupLayout, tr("Start minimized to tray"), PrefKey::StartMinimized,
                                               PrefKey::StartMinimizedDefault, QStringLiteral("startMinimizedCheck"));
    addNote(groupLayout, tr("Launch Norvane Notes directly to the tray — useful for autostart at login."));

    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildSyncPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("syncPage"));
    QVBoxLayout* layout = newPage(page, tr("Sync"));

    addDescription(layout, tr("Current sync state and a quick manual trigger."));
    QGroupBox* status = addGroup(layout, tr("Status"));
    auto* statusLayout = static_cast<QBoxLayout*>(status->layout());
    auto* statusRow = new QHBoxLayout;
    m_syncStatusLabel = new QLabel(status);
    m_syncStatusLabel->setObjectName(QStringLiteral("syncStatusLabel"));
    m_syncNowButton = new QPushButton(tr("Sync now"), status);
    m_syncNowButton->setObjectName(QStringLiteral("syncNowButton"));
    connect(m_syncNowButton, &QPushButton::clicked, this, &SettingsDialog::syncNowRequested);
    statusRow->addWidget(m_syncStatusLabel, 1);
    statusRow->addWidget(m_syncNowButton);
    statusLayout->addLayout(statusRow);
    m_syncDescriptionLabel = new QLabel(status);
    m_syncDescriptionLabel->setObjectName(QStringLiteral("syncDescriptionLabel"));
    m_syncDescriptionLabel->setWordWrap(true);
    m_syncDescriptionLabel->setForegroundRole(QPalette::PlaceholderText);
    statusLayout->addWidget(m_syncDescriptionLabel);

    QGroupBox* automatic = addGroup(layout, tr("Automatic Sync"));
    // A group's own explanation sits inside its frame, so it never reads as part of the group above.
    addDescription(static_cast<QBoxLayout*>(automatic->layout()),
                   tr("Push local changes and pull updates from the server in the background."));
    auto* automaticLayout = static_cast<QBoxLayout*>(automatic->layout());
    m_autoSyncCheck = addPreferenceCheck(automaticLayout, tr("Enable automatic sync"), PrefKey::AutoSync,
                                         PrefKey::AutoSyncDefault, QStringLiteral("autoSyncCheck"));
    auto* intervalRow = new QHBoxLayout;
    auto* intervalLabel = new QLabel(tr("Interval:"), automatic);
    m_syncIntervalSpin = new QSpinBox(automatic);
    m_syncIntervalSpin->setObjectName(QStringLiteral("syncIntervalSpin"));
    m_syncIntervalSpin->setRange(kIntervalMin, kIntervalMax);
    m_syncIntervalSpin->setSuffix(tr(" min"));
    m_syncIntervalSpin->setValue(
        m_state->preferences()->intValue(PrefKey::SyncIntervalMinutes, PrefKey::SyncIntervalMinutesDefault));
    intervalLabel->setBuddy(m_syncIntervalSpin);
    connect(m_syncIntervalSpin, &QSpinBox::valueChanged, this,
            [this](int minutes) { m_state->preferences()->setInt(PrefKey::SyncIntervalMinutes, minutes); });
    intervalRow->addWidget(intervalLabel);
    intervalRow->addWidget(m_syncIntervalSpin);
    intervalRow->addStretch(1);
    automaticLayout->addLayout(intervalRow);

    QGroupBox* notifications = addGroup(layout, tr("Notifications"));
    addDescription(static_cast<QBoxLayout*>(notifications->layout()), tr("Toast messages about sync state."));
    m_offlineBannerCheck =
        addPreferenceCheck(static_cast<QBoxLayout*>(notifications->layout()), tr("Show a banner when offline"),
                           PrefKey::ShowOfflineNotification, PrefKey::ShowOfflineNotificationDefault,
                           QStringLiteral("offlineBannerCheck"));

    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildAccountPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("accountPage"));
    QVBoxLayout* layout = newPage(page, tr("Account"));
    addDescription(layout, tr("Your Norvane account unlocks cloud sync and sharing across devices."));

    QGroupBox* group = addGroup(layout, tr("Norvane Account"));
    auto* groupLayout = static_cast<QBoxLayout*>(group->layout());
    auto* signedInRow = new QHBoxLayout;
    signedInRow->addWidget(new QLabel(tr("Signed in as"), group));
    m_accountValueLabel = new QLabel(group);
    m_accountValueLabel->setObjectName(QStringLiteral("accountValueLabel"));
    m_accountValueLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    signedInRow->addWidget(m_accountValueLabel, 1);
    groupLayout->addLayout(signedInRow);
    // Who is signed in and in which group, from the account service's profile.
    m_accountDetailsLabel = new QLabel(group);
    m_accountDetailsLabel->setObjectName(QStringLiteral("accountDetailsLabel"));
    m_accountDetailsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_accountDetailsLabel->setWordWrap(true);
    m_accountDetailsLabel->hide();
    groupLayout->addWidget(m_accountDetailsLabel);

    auto* buttons = new QHBoxLayout;
    m_manageAccountButton = new QPushButton(tr("Manage Account…"), group);
    m_manageAccountButton->setObjectName(QStringLiteral("manageAccountButton"));
    m_signInButton = new QPushButton(tr("Sign In…"), group);
    m_signInButton->setObjectName(QStringLiteral("signInButton"));
    m_signOutButton = new QPushButton(tr("Sign Out"), group);
    m_signOutButton->setObjectName(QStringLiteral("signOutButton"));
    connect(m_manageAccountButton, &QPushButton::clicked, this, &SettingsDialog::manageAccountRequested);
    connect(m_signInButton, &QPushButton::clicked, this, &SettingsDialog::signInRequested);
    connect(m_signOutButton, &QPushButton::clicked, this, &SettingsDialog::signOutRequested);
    for (QPushButton* button : {m_manageAccountButton, m_signInButton, m_signOutButton}) {
        // Room around the text at every font scale; the style's own hint leaves "Manage Account…" tight.
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 32);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    groupLayout->addLayout(buttons);

    layout->addStretch(1);
    return page;
}

QVBoxLayout* SettingsDialog::newPage(QWidget* page, const QString& title)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(10);
    auto* heading = new QLabel(title, page);
    heading->setObjectName(QStringLiteral("pageTitle"));
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(20);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    layout->addWidget(heading);
    return layout;
}

QLabel* SettingsDialog::addDescription(QBoxLayout* layout, const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addSpacing(4);
    layout->addWidget(label);
    return label;
}

QGroupBox* SettingsDialog::addGroup(QBoxLayout* layout, const QString& title)
{
    auto* group = new QGroupBox(title);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(6);
    layout->addWidget(group);
    return group;
}

QCheckBox* SettingsDialog::addPreferenceCheck(QBoxLayout* layout, const QString& text, const char* key,
                                              bool defaultValue, const QString& objectName)
{
    auto* check = new QCheckBox(text);
    check->setObjectName(objectName);
    check->setChecked(m_state->preferences()->boolValue(QLatin1String(key), defaultValue));
    connect(check, &QCheckBox::toggled, this,
            [this, key](bool on) { m_state->preferences()->setBool(QLatin1String(key), on); });
    layout->addWidget(check);
    m_preferenceChecks.append({check, key, defaultValue});
    return check;
}

void SettingsDialog::addNote(QBoxLayout* layout, const QString& text)
{
    auto* note = new QLabel(text);
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    // Indented to sit under the check box's text rather than its indicator.
    note->setContentsMargins(24, 0, 0, 4);
    layout->addWidget(note);
}

void SettingsDialog::applyListStyle()
{
    if (!m_categories)
        return;
    // The application palette, not the dialog's own: the dialog only picks up an application palette
    // change through a later event, while the theme announces itself right after installing it.
    const bool light = QApplication::palette(this).color(QPalette::Window).lightness() > kDarkWindow.lightness();
    const ListColours& c = light ? kLightList : kDarkList;
    const QString sheet = QString::fromLatin1(kListStyle)
                              .arg(QLatin1String(c.background), QLatin1String(c.text), QLatin1String(c.hover),
                                   QLatin1String(c.selectedBackground), QLatin1String(c.selectedText));
    if (m_categories->styleSheet() != sheet)
        m_categories->setStyleSheet(sheet);
}

void SettingsDialog::showStoredTheme()
{
    const QString stored = ThemeManager::themeToString(ThemeManager::themeFromString(
        m_state->preferences()->stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault)));
    const QSignalBlocker blocker(m_themeCombo);
    m_themeCombo->setCurrentIndex(m_themeCombo->findData(stored));
}

void SettingsDialog::showFontScale(int percent)
{
    int index = m_fontSizeCombo->findData(percent);
    if (index < 0)
        index = m_fontSizeCombo->findData(100);
    const QSignalBlocker blocker(m_fontSizeCombo);
    m_fontSizeCombo->setCurrentIndex(index);
}

void SettingsDialog::onThemeChosen(int index)
{
    const QString mode = m_themeCombo->itemData(index).toString();
    // The application state applies a stored mode at once.
    m_state->preferences()->setValue(PrefKey::ThemeMode, mode);
}

void SettingsDialog::onFontSizeChosen(int index)
{
    m_state->theme()->setFontScale(m_fontSizeCombo->itemData(index).toInt());
}

void SettingsDialog::onPreferenceChanged(const QString& key)
{
    if (key == QLatin1String(PrefKey::ThemeMode)) {
        showStoredTheme();
        return;
    }
    if (key == QLatin1String(PrefKey::SyncIntervalMinutes)) {
        const QSignalBlocker blocker(m_syncIntervalSpin);
        m_syncIntervalSpin->setValue(
            m_state->preferences()->intValue(PrefKey::SyncIntervalMinutes, PrefKey::SyncIntervalMinutesDefault));
        return;
    }
    for (const PreferenceCheck& entry : std::as_const(m_preferenceChecks)) {
        if (key == QLatin1String(entry.key)) {
            const QSignalBlocker blocker(entry.check);
            entry.check->setChecked(m_state->preferences()->boolValue(key, entry.defaultValue));
            return;
        }
    }
}

void SettingsDialog::refreshSyncStatus()
{
    if (m_signedIn) {
        m_syncStatusLabel->setText(m_syncStateText);
        m_syncDescriptionLabel->setText(tr("Push pending changes and pull the latest from the server."));
    } else {
        m_syncStatusLabel->setText(tr("Not signed in"));
        m_syncDescriptionLabel->setText(tr("Sign in to your Norvane account to sync."));
    }
    m_syncNowButton->setEnabled(m_signedIn);
}

void SettingsDialog::refreshAccount()
{
    m_accountValueLabel->setText(m_signedIn ? tr("Signed in") : tr("Not signed in"));
    m_manageAccountButton->setEnabled(m_signedIn);
    m_signOutButton->setEnabled(m_signedIn);
    m_signInButton->setEnabled(!m_signedIn);
    showAccountDetails();
}

void SettingsDialog::showAccountDetails()
{
    NorvAccount::Client* account = m_state ? m_state->account() : nullptr;
    if (!m_signedIn || !account) {
        m_accountDetailsLabel->clear();
        m_accountDetailsLabel->hide();
        return;
    }
    QPointer<SettingsDialog> self(this);
    account->accountClient()->getProfile([self](const NorvAccount::Profile& profile) {
        if (!self || !self->m_signedIn || profile.id.isEmpty())
            return;
        QStringList lines;
        lines << (profile.displayName.isEmpty() ? profile.email
                                                : QStringLiteral("%1 (%2)").arg(profile.displayName, profile.email));
        if (profile.group && !profile.group->name.isEmpty()) {
            lines << (profile.group->role == QLatin1String("owner")
                          ? tr("Owner of the group \"%1\"").arg(profile.group->name)
                          : tr("Member of the group \"%1\"").arg(profile.group->name));
        } else {
            lines << tr("Not in a group");
        }
        self->m_accountDetailsLabel->setText(lines.join(QLatin1Char('\n')));
        self->m_accountDetailsLabel->show();
    });
}
