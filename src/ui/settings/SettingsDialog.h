#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class AppState;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QVBoxLayout;

// The preferences window: a category list on the left and one page per category on the right.
// There is no OK or Cancel; every control stores its preference the moment it changes and the rest
// of the application reacts to the stored value. The account and sync rows only display state and
// ask for actions through signals, so whoever owns the account wiring drives them.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(AppState* appState, QWidget* parent = nullptr);

    // Switches the sync status row and the account group between their signed-in and signed-out
    // forms. The dialog starts signed out.
    void setSignedIn(bool signedIn);
    bool isSignedIn() const { return m_signedIn; }
    // The sync engine's current state text, shown while signed in.
    void setSyncStateText(const QString& text);

public slots:
    void onCategoryChanged(int row);

signals:
    void syncNowRequested();
    void signInRequested();
    void signOutRequested();
    void manageAccountRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildAppearancePage();
    QWidget* buildEditorPage();
    QWidget* buildWindowPage();
    QWidget* buildSyncPage();
    QWidget* buildAccountPage();

    // A page with its title; sections are added to the returned layout.
    QVBoxLayout* newPage(QWidget* page, const QString& title);
    QLabel* addDescription(QBoxLayout* layout, const QString& text);
    QGroupBox* addGroup(QBoxLayout* layout, const QString& title);
    QCheckBox* addPreferenceCheck(QBoxLayout* layout, const QString& text, const char* key, bool defaultValue,
                                  const QString& objectName);
    void addNote(QBoxLayout* layout, const QString& text);

    void applyListStyle();
    void showStoredTheme();
    void showFontScale(int percent);
    void onThemeChosen(int index);
    void onFontSizeChosen(int index);
    // Brings a control in line with a value stored elsewhere, without writing it back.
    void onPreferenceChanged(const QString& key);
    void refreshSyncStatus();
    void refreshAccount();
    void showAccountDetails();

    struct PreferenceCheck
    {
        QCheckBox* check;
        const char* key;
        bool defaultValue;
    };

    QPointer<AppState> m_state;
    QList<PreferenceCheck> m_preferenceChecks;
    bool m_signedIn = false;
    // The engine starts idle.
    QString m_syncStateText = QStringLiteral("Synced");

    QListWidget* m_categories = nullptr;
    QStackedWidget* m_pages = nullptr;
    QComboBox* m_themeCombo = nullptr;
    QComboBox* m_fontSizeCombo = nullptr;
    QCheckBox* m_stenoCheck = nullptr;
    QCheckBox* m_closeToTrayCheck = nullptr;
    QCheckBox* m_startMinimizedCheck = nullptr;
    QLabel* m_syncStatusLabel = nullptr;
    QLabel* m_syncDescriptionLabel = nullptr;
    QPushButton* m_syncNowButton = nullptr;
    QCheckBox* m_autoSyncCheck = nullptr;
    QSpinBox* m_syncIntervalSpin = nullptr;
    QCheckBox* m_offlineBannerCheck = nullptr;
    QLabel* m_accountValueLabel = nullptr;
    QLabel* m_accountDetailsLabel = nullptr;
    QPushButton* m_manageAccountButton = nullptr;
    QPushButton* m_signInButton = nullptr;
    QPushButton* m_signOutButton = nullptr;
};
