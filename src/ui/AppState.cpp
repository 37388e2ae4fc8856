#include "AppState.h"

#include "AccountClient.h"
#include "AccountPrompts.h"
#include "ApiClient.h"
#include "AttachmentRepository.h"
#include "BackupArchive.h"
#include "Clock.h"
#include "DataPaths.h"
#include "Database.h"
#include "DeltaFormat.h"
#include "Interaction.h"
#include "MarkdownHtml.h"
#include "NorvAccountClient.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PluralForms.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "SharingBackend.h"
#include "SnapshotRepository.h"
#include "SyncEngine.h"
#include "ThemeManager.h"
#include "TokenManager.h"
#include "TokenStore.h"
#include "UiLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QWidget>

namespace {

// Builds the fixed bodies of the welcome notes, one line at a time.
class DeltaBuilder
{
public:
    DeltaBuilder& text(const QString& text, const QJsonObject& attributes = {})
    {
        QJsonObject op{{QStringLiteral("insert"), text}};
        if (!attributes.isEmpty())
            op.insert(QStringLiteral("attributes"), attributes);
        m_ops.append(op);
        return *this;
    }
    DeltaBuilder& bold(const QString& t) { return text(t, {{QStringLiteral("bold"), true}}); }
    DeltaBuilder& italic(const QString& t) { return text(t, {{QStringLiteral("italic"), true}}); }
    // Ends the current line with the given line attributes.
    DeltaBuilder& end(const QJsonObject& lineAttributes = {}) { return text(QStringLiteral("\n"), lineAttributes); }

    DeltaBuilder& title(const QString& t) { return text(t).end({{QStringLiteral("header"), 1}}); }
    DeltaBuilder& paragraph(const QString& t) { return text(t).end(); }
    DeltaBuilder& boldLine(const QString& t) { return bold(t).end(); }
    DeltaBuilder& check(const QString& t, bool done)
    {
        return text(t).end({{QStringLiteral("list"), done ? QStringLiteral("checked") : QStringLiteral("unchecked")}});
    }
    DeltaBuilder& divider()
    {
        m_ops.append(
            QJsonObject{{QStringLiteral("insert"), QJsonObject{{QStringLiteral("divider"), QStringLiteral("hr")}}}});
        return end();
    }

    QString json() const { return QString::fromUtf8(QJsonDocument(m_ops).toJson(QJsonDocument::Compact)); }

private:
    QJsonArray m_ops;
};

QString tripPackingListBody()
{
    return DeltaBuilder()
        .title(QCoreApplication::translate("AppState", "Trip Packing List"))
        .boldLine(QCoreApplication::translate("AppState", "Essentials"))
        .check(QCoreApplication::translate("AppState", "Passport and ID"), true)
        .check(QCoreApplication::translate("AppState", "Phone charger and power bank"), true)
        .check(QCoreApplication::translate("AppState", "Travel insurance documents"), false)
        .check(QCoreApplication::translate("AppState", "Headphones"), false)
        .boldLine(QCoreApplication::translate("AppState", "Clothing"))
        .check(QCoreApplication::translate("AppState", "Comfortable walking shoes"), true)
        .check(QCoreApplication::translate("AppState", "Rain jacket"), false)
        .check(QCoreApplication::translate("AppState", "A warm layer for the evenings"), false)
        .boldLine(QCoreApplication::translate("AppState", "Toiletries"))
        .check(QCoreApplication::translate("AppState", "Toothbrush and toothpaste"), false)
        .check(QCoreApplication::translate("AppState", "Sunscreen"), true)
        .check(QCoreApplication::translate("AppState", "Daily medication"), false)
        .end()
        .paragraph(QCoreApplication::translate(
            "AppState", "Every check-list item in your notes also appears in the To-Dos view, so nothing on "
                        "this list gets forgotten."))
        .json();
}

QString gettingStartedBody()
{
    return DeltaBuilder()
        .title(QCoreApplication::translate("AppState", "Getting Started"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Norvane Notes is made to stay out of your way. Here is what it can do."))
        .boldLine(QCoreApplication::translate("AppState", "Just Type"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Start writing and your note is saved about a second after you pause. There is "
                        "no save button and nothing to name first."))
        .boldLine(QCoreApplication::translate("AppState", "Instant Search"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Every word you write is indexed. Type a few letters into the search box and the "
                        "matching notes appear as you type."))
        .boldLine(QCoreApplication::translate("AppState", "Rich Text"))
        .text(QCoreApplication::translate("AppState", "Make text "))
        .bold(QCoreApplication::translate("AppState", "bold"))
        .text(QCoreApplication::translate("AppState", " or "))
        .italic(QCoreApplication::translate("AppState", "italic"))
        .text(QCoreApplication::translate(
            "AppState", ", add headings, bullet and check lists, quotes, code blocks, links and tables from the "
                        "toolbar or with keyboard shortcuts."))
        .end()
        .boldLine(QCoreApplication::translate("AppState", "Notebooks"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Group related notes into notebooks from the sidebar. Drag a note onto a notebook "
                        "to move it there."))
        .boldLine(QCoreApplication::translate("AppState", "Attachments"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Drop images and files into a note. They are kept with the note and go wherever "
                        "it goes."))
        .boldLine(QCoreApplication::translate("AppState", "Offline First"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Everything is stored on this computer, so your notes are there with or without a "
                        "connection."))
        .boldLine(QCoreApplication::translate("AppState", "Sync Across Devices"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Sign in to keep your notes in step on all your devices and to share them with your "
                        "family group."))
        .boldLine(QCoreApplication::translate("AppState", "Export"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Save any note as Markdown, HTML, plain text or PDF, print it, or copy it to paste "
                        "somewhere else."))
        .divider()
        .paragraph(QCoreApplication::translate(
            "AppState", "Delete these welcome notes whenever you like, or keep them as a reference."))
        .json();
}

QString welcomeBody()
{
    return DeltaBuilder()
        .title(QCoreApplication::translate("AppState", "Welcome to Norvane Notes"))
        .paragraph(QCoreApplication::translate(
            "AppState", "Capture a thought the moment it arrives: start typing and it is saved. No titles to "
                        "invent, no folders to choose first."))
        .paragraph(QCoreApplication::translate(
            "AppState", "Finding it again is just as quick. Search looks through every word of every note, "
                        "so a few letters are usually all it takes."))
        .bold(QCoreApplication::translate("AppState", "Try it now:"))
        .text(QCoreApplication::translate("AppState", " type "))
        .italic(QCoreApplication::translate("AppState", "welcome"))
        .text(QCoreApplication::translate("AppState", " into the search box above the note list."))
        .end()
        .paragraph(QCoreApplication::translate("AppState", "Happy writing!"))
        .json();
}

struct SampleNote
{
    int daysBack;
    const char* markdown;
};

// Ordinary notes of the kinds people keep, for trying out lists, search and dates.
const SampleNote kSampleNotes[] = {
    {0, R"(## Things to Remember

- Renew the car registration before the end of the month
- **Dentist:** Thursday at 8:30, bring the insurance card
- Call Mum back about the weekend plans
- Library books are due on the 14th

**Ideas**

- A shelf above the desk for the plants
- Try the new bakery on Elm Street

- [ ] Pay the electricity bill
- [ ] Order a birthday present for Sam
- [x] Book the hotel for the conference
)"},
    {1, R"(## Weekly Team Sync - Project Atlas

**Attendees:** Priya, Marco, Lena, Tom

**Status**

- Search indexing is finished and in review
- The import screen needs one more design pass
- Load tests show the sync service holding up at twice the expected traffic

**Decisions**

- Beta goes out to the pilot group on the 20th
- Crash reports are reviewed every Monday morning

**Action items**

- [ ] Marco: write the release notes draft
- [ ] Lena: schedule the usability sessions
- [x] Tom: fix the flaky login test
)"},
    {2, R"(## Weekly Journal - Friday Check-In

**What went well:** I finished the first draft of the proposal two days early and still had time for a long walk on Wednesday evening.

**What was hard:** Too many meetings on Tuesday. I kept switching between tasks and lost the thread of the budget review.

**Next week**

- Block two mornings for focused work
- Say no to at least one optional meeting
- Cook at home four nights

*Mood:* calm, a little tired, looking forward to the weekend.
)"},
    {8, R"(## Clipped Article - New Noise-Canceling Headphones Reviewed

**Source:** a weekend technology column

The reviewer tested the new over-ear model on a long-haul flight and in a busy open-plan office. Noise canceling is noticeably better in the low range, so engine rumble almost disappears, while voices still come through a little.

**Pros**

- Thirty hours of battery life with canceling on
- Comfortable for a full working day
- Quick pairing with two devices at once

**Cons**

- The case is bulky
- Touch controls react to a brush of the hair

**Verdict:** the best pair for frequent travellers, if you can live with the price.
)"},
    {14, R"(## Gadget Notes - Portable E-Ink Tablet

Considering an e-ink tablet for reading papers and taking meeting notes.

**What matters to me**

- Pen latency low enough for handwriting
- Reads PDF and EPUB without conversion
- A week of battery between charges
- Exports notes as PDF or text

**Open questions**

- Does the handwriting search work offline?
- How heavy is it with the folio cover?

- [ ] Try one in the shop before ordering
- [ ] Compare the ten-inch and the thirteen-inch screen
)"},
    {21, R"(## Dinner Recipe - Sheet Pan Lemon Chicken

**Serves:** 4 | **Time:** 45 minutes

**Ingredients**

- 8 chicken thighs, skin on
- 600 g small potatoes, halved
- 1 red onion, cut into wedges
- 2 lemons, one juiced and one sliced
- 4 cloves garlic, crushed
- Olive oil, salt, pepper and fresh thyme

**Method**

1. Heat the oven to 220 °C.
2. Toss everything with the oil, lemon juice, garlic and seasoning.
3. Spread on one tray, chicken skin side up, lemon slices on top.
4. Roast for 40 minutes until the skin is crisp and the potatoes are golden.

Serve with a green salad. Leftovers make a good lunch the next day.
)"},
    {28, R"(## Book Draft - Chapter 4: The Cost of Convenience

Every shortcut we accept trades something we can see for something we cannot. A delivery that arrives in an hour saves an afternoon, but it also moves the errand, and the people who run it, out of sight.

**Points to develop**

- The hidden labour behind one-click ordering
- How convenience changes what we expect from each other
- Small frictions that are worth keeping

*Note to self:* open the chapter with the story of the corner shop that closed, and come back to it at the end.
)"},
};

} // namespace

AppState::AppState(QObject* parent)
    : QObject(parent)
{
    PluralForms::install();
}

AppState::~AppState()
{
    // The windows use the repositories, which are destroyed with this object right after.
    closeAllNoteWindows();
}

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = databasePath();
    qCInfo(lcUi).noquote() << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate())
        return false;

    createRepositories();
    connectRepositories();
    createTheme();

    createAccount();
    createSync();
    // A new or ended share changes what the service sends this library; fetch it now rather than at
    // the next periodic run, so the sharing marks and the shared screens follow at once.
    connect(this, &AppState::sharesChanged, m_sync, [this] {
        if (signedIn())
            m_sync->syncNow();
    });
    m_account->initialize();

    restoreCurrentSelection();
    createWelcomeNotes();

    emit databaseReady();
    return true;
}

void AppState::createAccount()
{
    auto setting = [](const char* name, const QString& fallback) {
        const QString value = qEnvironmentVariable(name);
        return value.isEmpty() ? fallback : value;
    };
    NorvAccount::ClientConfig config;
    config.authBaseUrl = setting("AUTH_BASE_URL", QStringLiteral("https://auth.norvane.app"));
    config.accountApiUrl = setting("ACCOUNT_API_URL", QStringLiteral("https://api.norvane.app/account/v1"));
    const QString notesUrl = setting("SYNC_API_URL", QStringLiteral("https://api.norvane.app/notes/v1"));
    qCInfo(lcUi).noquote() << "Auth:" << config.authBaseUrl << "Account:" << config.accountApiUrl
                           << "Sync:" << notesUrl;
    config.realm = setting("AUTH_REALM_SLUG", QStringLiteral("norvane"));
    config.clientId = setting("AUTH_CLIENT_ID", QStringLiteral("5f0c2a9e7d3b4e18a6c1f04b9e2d7a53"));
    config.appId = QStringLiteral("app.norvane.notes");
    config.appName = QStringLiteral("Norvane Notes");
    config.appVersion = QCoreApplication::applicationVersion();
    config.portalUrl = setting("ACCOUNT_PORTAL_URL", QStringLiteral("https://account.norvane.app"));

    m_account = new NorvAccount::Client(config, m_tokenStoreFactory ? m_tokenStoreFactory() : nullptr, this);
    m_account->notesApi()->setBaseUrl(QUrl(notesUrl));
    connect(m_account, &NorvAccount::Client::authStateChanged, this, [this] { refreshCanShare(); });
    routeAccountPrompts();
    m_sharing = new NoteSharingService(m_account->notesApi(), NoteSharingService::Notes, this);
    m_groupSharing = new NoteSharingService(m_account->notesApi(), NoteSharingService::Notebooks, this);
    // Joining, leaving or losing members changes who there is to share with.
    connect(m_account->accountClient(), &NorvAccount::AccountClient::groupChanged, this, &AppState::refreshCanShare);
}

// The account screen's and the share dialog's questions go through the application's dialog layer,
// like every other question it asks, so scripted tests can answer them too.
void AppState::routeAccountPrompts()
{
    NorvAccount::Prompts prompts;
    prompts.getText = [](QWidget* parent, const QString& title, const QString& label, const QString& text,
                         QLineEdit::EchoMode echo, bool* ok) {
        // Passwords are never shown, so they keep the masked standard input.
        if (echo != QLineEdit::Normal)
            return QInputDialog::getText(parent, title, label, echo, text, ok);
        return Interaction::getText(parent, title, label, text, ok);
    };
    prompts.question = [](QWidget* parent, const QString& title, const QString& text) {
        return Interaction::question(parent, title, text) == QMessageBox::Yes;
    };
    prompts.information = [](QWidget* parent, const QString& title, const QString& text) {
        Interaction::information(parent, title, text);
    };
    NorvAccount::setPrompts(prompts);
}

void AppState::createSync()
{
    m_sync = new SyncEngine(m_account->notesApi(), m_notes, m_notebooks, m_attachments, m_preferences, this);
    m_sync->setSnapshots(m_snapshots);
    connect(m_account, &NorvAccount::Client::authStateChanged, this, [this] {
        if (m_account->isAuthenticated()) {
            onSignedIn();
        } else {
            m_awaitingAccountChoice = false;
            applySyncSettings(false);
        }
    });
    // The library belongs to the account it synced with last.
    connect(m_sync, &SyncEngine::syncCompleted, this, [this] {
        const QString account = sessionAccount();
        if (!account.isEmpty() && !m_awaitingAccountChoice)
            m_preferences->setValue(QLatin1String(PrefKey::SyncAccount), account);
    });
    connect(m_notes, &NoteRepository::notesChanged, this, [this] {
        if (signedIn() && m_preferences->boolValue(PrefKey::AutoSync, PrefKey::AutoSyncDefault))
            m_sync->scheduleSync();
    });
    connect(m_preferences, &PreferencesRepository::changed, this, [this](const QString& key) {
        if (key == QLatin1String(PrefKey::AutoSync) || key == QLatin1String(PrefKey::SyncIntervalMinutes))
            applySyncSettings(false);
    });
    connect(m_sync, &SyncEngine::dataChanged, this, [this] {
        emit notesChanged();
        emit notebooksChanged();
    });
    // Pulled notes reach every open editor like a change made in another window.
    connect(m_sync, &SyncEngine::notesReplaced, this, [this](const QStringList& ids) {
        for (const QString& id : ids)
            emit noteUpdatedExternally(id, m_sync);
    });
    connect(m_sync, &SyncEngine::localEditsKept, this, [this](const QStringList& ids) {
        emit statusMessage(ids.size() == 1
                               ? tr("Another device changed a note you edited here; your edit was kept in the "
                                    "note's history.")
                               : tr("Another device changed %1 notes you edited here; your edits were kept in "
                                    "their history.")
                                     .arg(ids.size()));
    });
    connect(m_sync, &SyncEngine::syncFailed, this, [this] {
        if (!m_sync->lastFailureWasOffline() || m_offlineNoticeShown)
            return;
        if (!m_preferences->boolValue(PrefKey::ShowOfflineNotification, PrefKey::ShowOfflineNotificationDefault))
            return;
        m_offlineNoticeShown = true;
        emit statusMessage(tr("Offline: your changes are saved here and will sync when the network is back."));
    });
    connect(m_sync, &SyncEngine::syncCompleted, this, [this] { m_offlineNoticeShown = false; });
}

QString AppState::sessionAccount() const
{
    const QString token = m_account->tokenManager()->accessToken();
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return {};
    const QJsonObject claims =
        QJsonDocument::fromJson(QByteArray::fromBase64(parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding)).object();
    return claims.value(QLatin1String("sub")).toString();
}

void AppState::onSignedIn()
{
    const QString account = sessionAccount();
    const QString library = m_preferences->stringValue(QLatin1String(PrefKey::SyncAccount), QString());
    // Another account's notes are never uploaded without asking.
    if (!account.isEmpty() && !library.isEmpty() && account != library) {
        m_awaitingAccountChoice = true;
        m_sync->stop();
        emit otherAccountLibrary();
        return;
    }
    m_awaitingAccountChoice = false;
    applySyncSettings(true);
}

void AppState::uploadLibraryToAccount()
{
    if (!m_awaitingAccountChoice)
        return;
    m_awaitingAccountChoice = false;
    // The other account's server versions mean nothing here: everything goes up as new.
    m_preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
    m_preferences->remove(QLatin1String(PrefKey::LastAttachmentSyncMs));
    m_notes->markAllPending();
    m_notebooks->markAllPending();
    m_preferences->setValue(QLatin1String(PrefKey::SyncAccount), sessionAccount());
    applySyncSettings(true);
    m_sync->syncNow();
}

QString AppState::keepLibraryApart()
{
    if (!m_awaitingAccountChoice)
        return {};
    const QString path = QDir(dataDirectory())
                             .filePath(QStringLiteral("norvane-notes-before-account-switch-%1.zip")
                                           .arg(Clock::nowUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const BackupResult backup = createBackup(path, LibraryRepositories{m_notes, m_notebooks, m_attachments});
    if (backup.failed) {
        qCWarning(lcUi).noquote() << "Backup before an account switch failed:" << backup.error;
        return {};
    }
    {
        const QSignalBlocker blockNotes(m_notes);
        const QSignalBlocker blockNotebooks(m_notebooks);
        QList<Note> all = m_notes->allNotes();
        all += m_notes->trashedNotes();
        for (const Note& n : std::as_const(all))
            m_notes->purge(n.id);
        // Gone here without telling the new account: marked deleted and in step, never pushed.
        for (Notebook nb : m_notebooks->allNotebooks()) {
            nb.deletedAt = Clock::nowUtc();
            nb.syncStatus = SyncStatus::Synced;
            m_notebooks->update(nb);
        }
    }
    m_preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
    m_preferences->remove(QLatin1String(PrefKey::LastAttachmentSyncMs));
    m_awaitingAccountChoice = false;
    m_preferences->setValue(QLatin1String(PrefKey::SyncAccount), sessionAccount());
    setCurrentNote(QString());
    emit notesChanged();
    emit notebooksChanged();
    applySyncSettings(true);
    m_sync->syncNow();
    return path;
}

void AppState::applySyncSettings(bool signInJustHappened)
{
    if (!signedIn() || m_awaitingAccountChoice) {
        m_sync->stop();
        return;
    }
    if (!m_preferences->boolValue(PrefKey::AutoSync, PrefKey::AutoSyncDefault)) {
        // Sync Now still works; nothing runs by itself.
        m_sync->stop();
        return;
    }
    const int minutes =
        qBound(1, m_preferences->intValue(PrefKey::SyncIntervalMinutes, PrefKey::SyncIntervalMinutesDefault), 120);
    const int intervalMs = minutes * 60 * 1000;
    if (signInJustHappened || !m_sync->isTimerActive())
        m_sync->start(intervalMs);
    else
        m_sync->setInterval(intervalMs);
}

bool AppState::signedIn() const
{
    return m_account && m_account->isAuthenticated();
}

void AppState::createRepositories()
{
    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);
}

void AppState::connectRepositories()
{
    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    // A purged note takes its attachment rows and files with it.
    connect(m_notes, &NoteRepository::notePurged, m_attachments, &AttachmentRepository::deleteAllForNote);
    connect(m_notes, &NoteRepository::attachmentsOrphaned, m_attachments, &AttachmentRepository::removeFiles);
    // Thinning the history may take away the last reference to an attachment removed from the text.
    connect(m_snapshots, &SnapshotRepository::attachmentsReleased, m_attachments,
            &AttachmentRepository::deleteUnreferenced);
}

void AppState::createTheme()
{
    m_theme = new ThemeManager(m_preferences, this);
    m_theme->setThemeFromString(m_preferences->stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault));
    // Whoever stores a new mode (the settings, a test, a future sync of preferences), the whole
    // application follows at once. Re-applying the mode the theme already has is skipped.
    connect(m_preferences, &PreferencesRepository::changed, m_theme, [this](const QString& key) {
        if (key != QLatin1String(PrefKey::ThemeMode))
            return;
        const QString mode = m_preferences->stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault);
        if (m_theme->theme() != ThemeManager::themeFromString(mode))
            m_theme->setThemeFromString(mode);
    });
}

void AppState::restoreCurrentSelection()
{
    // Restored silently: nothing is listening yet, and re-writing the same values would be noise.
    if (const auto notebookId = m_preferences->value(PrefKey::LastNotebookId))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->value(PrefKey::LastNoteId))
        m_currentNoteId = *noteId;
}

void AppState::createWelcomeNotes()
{
    if (m_preferences->boolValue(PrefKey::HasSeenWelcome, PrefKey::HasSeenWelcomeDefault))
        return;

    // Later offsets are newer, so "Welcome to Norvane Notes" heads every list ordered by update time.
    const struct
    {
        qint64 offsetMs;
        QString body;
    } welcome[] = {
        {0, tripPackingListBody()},
        {100, gettingStartedBody()},
        {200, welcomeBody()},
    };
    const QDateTime now = Clock::nowUtc();
    for (const auto& entry : welcome) {
        Note note;
        note.id = newId();
        note.body = entry.body;
        note.createdAt = note.updatedAt = note.modifiedAt = now.addMSecs(entry.offsetMs);
        // Synced: the same notes exist on every new device, so they are never uploaded.
        note.syncStatus = SyncStatus::Synced;
        note.isSample = true;
        if (!m_notes->insert(note))
            qCWarning(lcUi) << "Could not store a welcome note";
    }
    m_preferences->setBool(PrefKey::HasSeenWelcome, true);
}

int AppState::loadSampleNotes()
{
    if (!m_notes)
        return 0;
    const QDateTime now = Clock::nowUtc();
    int stored = 0;
    for (const SampleNote& sample : kSampleNotes) {
        const int hoursEarlier = int(QRandomGenerator::global()->bounded(12));
        Note note;
        note.id = newId();
        // The line-based reader keeps "- [ ]" items as check-list lines, which can be ticked.
        note.body = simpleMarkdownToDelta(QString::fromUtf8(sample.markdown));
        note.createdAt = note.updatedAt = note.modifiedAt =
            now.addDays(-sample.daysBack).addSecs(-3600LL * hoursEarlier);
        note.syncStatus = SyncStatus::Pending;
        note.isSample = true;
        if (m_notes->insert(note))
            ++stored;
    }
    return stored;
}

void AppState::setCurrentNotebook(const QString& id)
{
    if (id == m_currentNotebookId)
        return;
    m_currentNotebookId = id;
    if (m_preferences)
        m_preferences->setValue(PrefKey::LastNotebookId, id);
    emit currentNotebookChanged(id);
}

void AppState::setCurrentNote(const QString& id)
{
    if (id == m_currentNoteId)
        return;
    m_currentNoteId = id;
    if (m_preferences)
        m_preferences->setValue(PrefKey::LastNoteId, id);
    emit currentNoteChanged(id);
}

void AppState::refreshCanShare()
{
    if (!signedIn()) {
        setCanShare(false);
        return;
    }
    // The group comes from the profile; only then is the member list worth asking for.
    QPointer<AppState> self(this);
    NorvAccount::AccountClient* accounts = m_account->accountClient();
    accounts->getProfile([self, accounts](const NorvAccount::Profile& profile) {
        if (!self)
            return;
        if (profile.groupId().isEmpty() || !self->signedIn()) {
            self->setCanShare(false);
            return;
        }
        accounts->getGroup([self](const NorvAccount::Group& group) {
            if (self)
                self->setCanShare(self->signedIn() && group.members.size() >= 2);
        });
    });
}

void AppState::setCanShare(bool canShare)
{
    if (canShare == m_canShare)
        return;
    m_canShare = canShare;
    emit canShareChanged(canShare);
}

void AppState::setNoteWindowFactory(NoteWindowFactory factory)
{
    m_noteWindowFactory = std::move(factory);
}

QWidget* AppState::noteWindow(const QString& noteId) const
{
    return m_noteWindows.value(noteId).data();
}

QWidget* AppState::openNoteWindow(const QString& noteId)
{
    QWidget* window = noteWindow(noteId);
    if (!window) {
        if (!m_noteWindowFactory) {
            qCWarning(lcUi) << "No note windows available to open" << noteId;
            return nullptr;
        }
        window = m_noteWindowFactory(this, noteId);
        if (!window)
            return nullptr;
        m_noteWindows.insert(noteId, window);
        m_noteWindowOrder.removeAll(noteId);
        m_noteWindowOrder.append(noteId);
        // A window deleted on close leaves the registry too, even if it never announced closing.
        // Only while the entry is still this window: after it announced closing, a new window for the
        // same note may have taken its place.
        connect(window, &QObject::destroyed, this, [this, noteId] {
            const auto it = m_noteWindows.constFind(noteId);
            if (it != m_noteWindows.cend() && it->isNull()) {
                m_noteWindows.remove(noteId);
                m_noteWindowOrder.removeAll(noteId);
            }
        });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QStringList AppState::openNoteWindowIds() const
{
    QStringList ids;
    for (const QString& noteId : m_noteWindowOrder) {
        if (noteWindow(noteId))
            ids << noteId;
    }
    return ids;
}

void AppState::noteWindowClosed(const QString& noteId)
{
    m_noteWindows.remove(noteId);
    m_noteWindowOrder.removeAll(noteId);
}

void AppState::closeAllNoteWindows()
{
    m_noteWindowOrder.clear();
    const auto windows = std::exchange(m_noteWindows, {});
    for (const QPointer<QWidget>& window : windows) {
        if (!window)
            continue;
        disconnect(window, nullptr, this, nullptr);
        window->close();
    }
}

QWidget* AppState::createNoteInWindow(QString* createdId)
{
    if (createdId)
        createdId->clear();
    if (!m_notes)
        return nullptr;
    Note note;
    note.id = newId();
    note.notebookId = m_currentNotebookId;
    note.body = QString::fromLatin1(kEmptyBody);
    note.createdAt = note.updatedAt = note.modifiedAt = Clock::nowUtc();
    note.version = 1;
    note.syncStatus = SyncStatus::Pending;
    note.isSample = false;
    if (!m_notes->insert(note))
        return nullptr;
    m_newNotesInWindows.insert(note.id);
    if (createdId)
        *createdId = note.id;
    return openNoteWindow(note.id);
}
