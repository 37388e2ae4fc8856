#pragma once

#include "AppState.h"
#include "Clock.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "TokenStore.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

// The fixed "now" of the widget tests.
inline const QDateTime kTestNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

// A note body of one plain line.
inline QString textBody(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

inline QAction* actionNamed(QWidget* owner, const QString& text)
{
    for (QAction* action : owner->findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Shown and active, so keys reach it as they reach a window the user works in.
inline void activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

inline void clickRow(QListWidget* list, QListWidgetItem* item)
{
    QVERIFY(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// The first sidebar row whose `role` holds `value` (a notebook id, a row kind).
inline QListWidgetItem* sidebarRow(QListWidget* sidebar, int role, const QVariant& value)
{
    for (int row = 0; row < sidebar->count(); ++row) {
        if (sidebar->item(row)->data(role) == value)
            return sidebar->item(row);
    }
    return nullptr;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Sign-in, the account and sync all talk to the test server at `base`.
inline void useServer(const QString& base)
{
    qputenv("AUTH_BASE_URL", (base + QStringLiteral("/auth")).toUtf8());
    qputenv("ACCOUNT_API_URL", (base + QStringLiteral("/account/v1")).toUtf8());
    qputenv("SYNC_API_URL", (base + QStringLiteral("/notes/v1")).toUtf8());
}

using TokenVault = std::shared_ptr<NorvAccount::MemoryTokenStore::Vault>;

// The application started over `vault` as its keyring, with the (access, refresh) pair put in first
// when given: it then comes up signed in. Starting again over the same vault is a restart.
inline std::unique_ptr<AppState> startWithKeyring(const std::pair<QString, QString>& tokens = {},
                                                  TokenVault vault = std::make_shared<TokenVault::element_type>())
{
    using NorvAccount::TokenStore;
    if (!tokens.first.isEmpty()) {
        vault->insert(QString::fromLatin1(TokenStore::kAccessTokenKey), tokens.first);
        vault->insert(QString::fromLatin1(TokenStore::kRefreshTokenKey), tokens.second);
    }
    auto state = std::make_unique<AppState>();
    state->setTokenStoreFactory([vault] { return std::make_unique<NorvAccount::MemoryTokenStore>(vault); });
    return state->initialize() ? std::move(state) : nullptr;
}

inline QStringList listedTitles(const NoteListWidget* list)
{
    QStringList titles;
    for (int row = 0; row < list->count(); ++row)
        titles << list->model()->index(row, 0).data(NoteListRole::Title).toString();
    return titles;
}

// A real library for widget tests: a database in a temporary directory opened through AppState,
// a fixed clock, and none of the first-start welcome notes, so each test starts empty.
struct UiTestLibrary
{
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Clock::Fixed> clock;
    std::unique_ptr<AppState> state;

    // Window settings go to a test location and never touch a developer's own.
    static void useTestSettings(const char* applicationName)
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("NorvaneTest"));
        QCoreApplication::setApplicationName(QString::fromLatin1(applicationName));
    }

    bool open(const QDateTime& now = kTestNow)
    {
        close();
        QSettings().clear();
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return false;
        qputenv("NOTES_DATA_DIR", dir->path().toUtf8());
        clock = std::make_unique<Clock::Fixed>(now);
        state = std::make_unique<AppState>();
        if (!state->initialize())
            return false;
        for (const Note& note : state->notes()->allNotes()) {
            if (!state->notes()->purge(note.id))
                return false;
        }
        state->setCurrentNote(QString());
        return true;
    }

    // The state goes before the clock, whose destructor restores the system clock.
    void close()
    {
        state.reset();
        clock.reset();
        dir.reset();
        QSettings().clear();
    }

    // Stores a synced note last changed `minutesAgo` before the clock; text starting with '[' is a whole body.
    Note addNote(const QString& text, int minutesAgo = 60, const QString& notebookId = QString(),
                 const std::function<void(Note&)>& adjust = {})
    {
        Note note;
        note.id = newId();
        note.notebookId = notebookId;
        note.body = text.startsWith(QLatin1Char('[')) ? text : textBody(text);
        note.createdAt = note.updatedAt = note.modifiedAt = clock->value().addSecs(-60 * minutesAgo);
        note.syncStatus = SyncStatus::Synced;
        if (adjust)
            adjust(note);
        if (!state->notes()->insert(note))
            qFatal("inserting a test note failed");
        return note;
    }

    QString addNotebook(const QString& name)
    {
        Notebook notebook;
        notebook.id = newId();
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = clock->value();
        if (!state->notebooks()->insert(notebook))
            qFatal("inserting a test notebook failed");
        return notebook.id;
    }

    QString storedTitle(const QString& noteId) const { return state->notes()->noteById(noteId)->title(); }
};
