// Writes PNGs of every window, screen, dialog and settings page, in the light and the dark theme:
//   ui_shots <out-dir>
// Each library state (welcome notes, an empty library, 200 notes in notebooks) lives in a throwaway
// data directory, and QSettings go to a throwaway config directory, so nobody's real notes or window
// state are read or written. Run it under Xvfb through ui-shots.sh so the xcb platform and the
// bundled IBM Plex fonts are used.

#include "../../tests/DevServer.h"
#include "AccountScreen.h"
#include "AppState.h"
#include "ExportDialog.h"
#include "ImportDialog.h"
#include "MainWindow.h"
#include "MoveToNotebookDialog.h"
#include "NoteActions.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "NotebookDialog.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "SearchScreen.h"
#include "SettingsDialog.h"
#include "ShareMembersDialog.h"
#include "SharedScreen.h"
#include "SnapshotRepository.h"
#include "SyncEngine.h"
#include "ThemeManager.h"
#include "TodosScreen.h"
#include "TokenStore.h"
#include "TrashScreen.h"
#include "VersionHistoryDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

namespace {

QString g_outDir;
QString g_theme;
QStringList g_written;

void settle(int ms = 400)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

void save(QWidget* widget, const QString& name)
{
    settle();
    const QString path = QStringLiteral("%1/%2-%3.png").arg(g_outDir, name, g_theme);
    if (widget->grab().save(path))
        g_written << path;
    else
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
}

QString registerFonts()
{
    QString family;
    for (const char* path : {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                             ":/fonts/IBMPlexMono-Medium.ttf", ":/fonts/MaterialIcons-Regular.otf"}) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        if (id < 0)
            std::fprintf(stderr, "could not register %s\n", path);
        else if (family.isEmpty())
            family = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    if (!family.isEmpty()) {
        QFont font = QApplication::font();
        font.setFamily(family);
        QApplication::setFont(font);
    }
    return family;
}

// ---- Note bodies --------------------------------------------------------------------------------

class Delta
{
public:
    Delta& text(const QString& t, const QJsonObject& attributes = {})
    {
        QJsonObject op{{QStringLiteral("insert"), t}};
        if (!attributes.isEmpty())
            op.insert(QStringLiteral("attributes"), attributes);
        m_ops.append(op);
        return *this;
    }
    Delta& end(const QJsonObject& attributes = {}) { return text(QStringLiteral("\n"), attributes); }
    Delta& title(const QString& t) { return text(t).end({{QStringLiteral("header"), 1}}); }
    Delta& heading(const QString& t) { return text(t).end({{QStringLiteral("header"), 2}}); }
    Delta& paragraph(const QString& t) { return text(t).end(); }
    Delta& bullet(const QString& t) { return text(t).end({{QStringLiteral("list"), QStringLiteral("bullet")}}); }
    Delta& check(const QString& t, bool done)
    {
        return text(t).end({{QStringLiteral("list"), done ? QStringLiteral("checked") : QStringLiteral("unchecked")}});
    }
    QString json() const { return QString::fromUtf8(QJsonDocument(m_ops).toJson(QJsonDocument::Compact)); }

private:
    QJsonArray m_ops;
};

struct Shelf
{
    const char* notebook; // nullptr: in no notebook
    QStringList titles;
    QStringList tasks;
};

// Titles and tasks of the kinds people keep, grouped by notebook.
const QList<Shelf>& shelves()
{
    static const QList<Shelf> list = {
        {"Work",
         {"Quarterly planning", "Budget review with finance", "Hiring plan for the platform team",
          "Notes from the conference keynote on offline-first design and conflict resolution", "Release checklist",
          "Customer interview: Larsen & Co.", "Roadmap draft", "Incident review"},
         {"Send the budget summary to Priya", "Book the meeting room for Thursday", "Update the roadmap slides",
          "Review Marco's pull request", "Collect feedback from the pilot group"}},
        {"Meeting Notes",
         {"Weekly team sync", "1:1 with Lena", "Design review", "Project Atlas kickoff", "Retrospective"},
         {"Share the minutes", "Follow up on the open questions", "Schedule the next review"}},
        {"Personal",
         {"Things to remember", "Birthday ideas for Sam", "Weekend plans", "Books to lend out", "Journal"},
         {"Call Mum back", "Renew the car registration", "Pay the electricity bill", "Water the plants"}},
        {"Recipes",
         {"Lemon risotto", "Sunday pancakes", "Green curry", "Sourdough starter notes", "Tomato soup"},
         {"Buy arborio rice", "Get fresh basil", "Try with oat milk"}},
        {"Travel",
         {"Lisbon itinerary", "Packing list for the mountains", "Train times to Bergen", "Hotel options in Kyoto"},
         {"Print the boarding passes", "Exchange some money", "Check the passport expiry date"}},
        {"Home Projects",
         {"Garden layout for spring", "Kitchen shelf measurements", "Paint colours for the hallway", "Bike repair"},
         {"Measure the window frames", "Order the garden soil", "Fix the squeaky hinge"}},
        {"Reading List",
         {"Books for the summer", "Articles to read later", "Quotes worth keeping"},
         {"Finish chapter four", "Return the library books"}},
        {nullptr,
         {"Quick note", "Ideas", "Phone numbers", "Shopping list", "Gift ideas"},
         {"Milk, eggs and bread", "Pick up the parcel", "Buy batteries"}},
    };
    return list;
}

const QStringList& sentences()
{
    static const QStringList list = {
        QStringLiteral("The budget needs one more pass before it goes to the board next week."),
        QStringLiteral("We agreed to keep the scope small and ship the first version to the pilot group."),
        QStringLiteral("Everything important is written down here so nothing gets lost between meetings."),
        QStringLiteral("The garden gets the most sun in the afternoon, so the vegetables go along the south wall."),
        QStringLiteral("Remember to check the opening hours; most places close early on Sundays."),
        QStringLiteral("Simmer gently for twenty minutes and stir in the butter and parmesan at the end."),
        QStringLiteral("A short walk after lunch made the afternoon noticeably more productive."),
        QStringLiteral("Priya suggested we compare the two options side by side before deciding."),
        QStringLiteral("The train leaves at 7:42 from platform 3; the next one is an hour later."),
        QStringLiteral("Keep the receipts together with the warranty cards in the blue folder."),
        QStringLiteral("Search indexing is finished and waiting for review."),
        QStringLiteral("Two chapters in and the story is finally picking up speed."),
    };
    return list;
}

// A library of plain, realistic notes from a fixed seed, so every run shows the same titles.
void fillLibrary(AppState* state, int count)
{
    std::mt19937 rng(20261205);
    auto pick = [&rng](int n) {
        return int(rng() % quint32(n));
    };
    QHash<QString, QString> notebookIds;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Shelf& shelf : shelves()) {
        if (!shelf.notebook)
            continue;
        Notebook notebook;
        notebook.id = newId();
        notebook.name = QString::fromUtf8(shelf.notebook);
        notebook.createdAt = notebook.updatedAt = now.addDays(-400);
        state->notebooks()->insert(notebook);
        notebookIds.insert(notebook.name, notebook.id);
    }
    QDateTime when = now.addSecs(-5 * 60);
    for (int i = 0; i < count; ++i) {
        const Shelf& shelf = shelves()[pick(int(shelves().size()))];
        QString title = shelf.titles[pick(int(shelf.titles.size()))];
        if (i >= 16 && pick(3) == 0)
            title += QStringLiteral(" (%1)").arg(2 + pick(6));
        Delta body;
        body.title(title);
        for (int p = 0, n = 1 + pick(3); p < n; ++p)
            body.paragraph(sentences()[pick(int(sentences().size()))] + QLatin1Char(' ') +
                           sentences()[pick(int(sentences().size()))]);
        if (pick(2) == 0) {
            body.heading(QStringLiteral("Details"));
            for (int b = 0, n = 2 + pick(3); b < n; ++b)
                body.bullet(sentences()[pick(int(sentences().size()))]);
        }
        if (pick(3) == 0) {
            body.text(QStringLiteral("To do"), {{QStringLiteral("bold"), true}}).end();
            for (int t = 0, n = 1 + pick(3); t < n; ++t)
                body.check(shelf.tasks[pick(int(shelf.tasks.size()))], pick(3) == 0);
        }
        Note note;
        note.id = newId();
        note.notebookId = shelf.notebook ? notebookIds.value(QString::fromUtf8(shelf.notebook)) : QString();
        note.body = body.json();
        note.createdAt = note.updatedAt = note.modifiedAt = when;
        state->notes()->insert(note);
        // Newest first: minutes apart at the top of the list, days apart further down.
        when = when.addSecs(-(i < 10 ? 40 * 60 : 3600 * (4 + pick(40))));
    }
}

// ---- Library states -----------------------------------------------------------------------------

// One data directory with its state and main window.
struct Library
{
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;

    ~Library()
    {
        if (state)
            state->closeAllNoteWindows();
        window.reset(); // it uses the state
        state.reset();
    }
};

std::unique_ptr<Library> openLibrary(const std::function<void(AppState*)>& prepare = {},
                                     const std::function<void(AppState*)>& beforeInitialize = {})
{
    auto library = std::make_unique<Library>();
    library->dir = std::make_unique<QTemporaryDir>();
    qputenv("NOTES_DATA_DIR", library->dir->path().toLocal8Bit());
    // Window state of the previous library (focus mode, geometry) must not carry over.
    QSettings().clear();
    library->state = std::make_unique<AppState>();
    if (beforeInitialize)
        beforeInitialize(library->state.get());
    if (!library->state->initialize()) {
        std::fprintf(stderr, "could not open a database in %s\n", qPrintable(library->dir->path()));
        std::exit(1);
    }
    NoteWindow::install(library->state.get());
    library->state->theme()->setThemeFromString(g_theme);
    if (prepare)
        prepare(library->state.get());
    library->window = std::make_unique<MainWindow>(library->state.get());
    library->window->resize(1280, 800);
    library->window->show();
    settle();
    return library;
}

void openNote(Library& library, const QString& noteId)
{
    library.window->noteList()->selectNote(noteId);
    library.state->setCurrentNote(noteId);
    library.window->openNote(noteId);
}

QString firstNoteId(AppState* state)
{
    const QList<Note> notes = state->notes()->allNotes();
    return notes.isEmpty() ? QString() : notes.first().id;
}

// A dialog shown without its own event loop, grabbed and deleted.
void shootDialog(QWidget* dialog, const QString& name)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->show();
    dialog->raise();
    save(dialog, name);
    dialog->close();
    delete dialog;
}

// ---- The shots ----------------------------------------------------------------------------------

void shootWelcomeNotes()
{
    auto library = openLibrary();
    openNote(*library, firstNoteId(library->state.get()));
    save(library->window.get(), QStringLiteral("main-welcome-notes"));

    // The tray menu, as the tray icon would pop it up.
    QMenu* menu = library->window->trayMenu();
    menu->popup(QPoint(200, 200));
    settle();
    save(menu, QStringLiteral("tray-menu"));
    menu->hide();
}

void shootWelcomePage()
{
    auto library = openLibrary([](AppState* state) {
        for (const Note& note : state->notes()->allNotes())
            state->notes()->purge(note.id);
    });
    library->window->updateCentralPage();
    save(library->window.get(), QStringLiteral("main-welcome-page"));
}

void shootLibrary()
{
    auto library = openLibrary([](AppState* state) {
        // Only the generated notes, so the list shows the library as a long-time user sees it.
        for (const Note& note : state->notes()->allNotes())
            state->notes()->purge(note.id);
        fillLibrary(state, 200);
    });
    AppState* state = library->state.get();
    MainWindow* window = library->window.get();
    const QList<Note> notes = state->notes()->allNotes();
    openNote(*library, notes.first().id);
    save(window, QStringLiteral("main-library"));
    window->setSidebarVisible(false);
    save(window, QStringLiteral("main-library-no-sidebar"));
    window->setSidebarVisible(true);
    window->setFocusMode(true);
    save(window, QStringLiteral("main-library-focus"));
    window->setFocusMode(false);

    // A notebook chosen in the sidebar, then a filter typed in the list's search box.
    for (const Notebook& notebook : state->notebooks()->allNotebooks()) {
        if (notebook.name == QLatin1String("Work"))
            state->setCurrentNotebook(notebook.id);
    }
    window->refreshNotebookList();
    window->refreshNoteList();
    save(window, QStringLiteral("main-library-notebook"));
    state->setCurrentNotebook(QString());
    window->refreshNotebookList();
    window->searchEdit()->setText(QStringLiteral("budget"));
    window->refreshNoteList();
    save(window, QStringLiteral("main-library-filtered"));
    window->searchEdit()->clear();
    window->refreshNoteList();

    window->showTodosScreen();
    window->todosScreen()->showCompletedCheck()->setChecked(true);
    save(window->todosScreen(), QStringLiteral("screen-todos"));
    window->todosScreen()->close();

    window->showSearchScreen();
    window->searchScreen()->searchEdit()->setText(QStringLiteral("garden"));
    window->searchScreen()->runSearch();
    save(window->searchScreen(), QStringLiteral("screen-search"));
    window->searchScreen()->close();

    for (int i = int(notes.size()) - 1; i >= int(notes.size()) - 5; --i)
        state->notes()->moveToTrash(notes[i].id);
    window->showTrashScreen();
    save(window->trashScreen(), QStringLiteral("screen-trash"));
    window->trashScreen()->close();

    window->showSharedScreen(true);
    save(window->sharedScreen(true), QStringLiteral("screen-shared-by-me"));
    window->sharedScreen(true)->close();
    window->showSharedScreen(false);
    save(window->sharedScreen(false), QStringLiteral("screen-shared-with-me"));
    window->sharedScreen(false)->close();

    // A note with check lists in a window of its own.
    QString noteWithTasks = notes[1].id;
    for (const Note& note : notes) {
        if (note.body.contains(QLatin1String("unchecked")) && note.body.contains(QLatin1String("bullet"))) {
            noteWithTasks = note.id;
            break;
        }
    }
    if (QWidget* noteWindow = state->openNoteWindow(noteWithTasks)) {
        save(noteWindow, QStringLiteral("note-window"));
        noteWindow->close();
    }
    settle(100);

    // Three earlier versions of the open note, the middle one selected.
    Note open = *state->notes()->noteById(notes.first().id);
    const QString title = open.title();
    const QStringList versions = {
        Delta().title(title).paragraph(QStringLiteral("First rough notes.")).json(),
        Delta().title(title).paragraph(QStringLiteral("First rough notes, now with the numbers from finance.")).json(),
        Delta()
            .title(title)
            .paragraph(QStringLiteral("Cleaned up and shared with the team."))
            .bullet(QStringLiteral("Numbers checked"))
            .bullet(QStringLiteral("Sent to Priya"))
            .json(),
    };
    for (int v = 0; v < versions.size(); ++v) {
        Snapshot snapshot;
        snapshot.id = newId();
        snapshot.noteId = open.id;
        snapshot.version = v + 1;
        snapshot.body = versions[v];
        snapshot.createdAt = QDateTime::currentDateTimeUtc().addSecs(-3600 * (versions.size() - v) * 5);
        state->snapshots()->insert(snapshot);
    }
    auto* history = new VersionHistoryDialog(state, open.id, window);
    history->show();
    settle(200);
    if (auto* list = history->findChild<QListWidget*>(QStringLiteral("snapshotList")); list && list->count() > 1)
        list->setCurrentRow(1);
    shootDialog(history, QStringLiteral("dialog-version-history"));

    shootDialog(new ExportDialog(window), QStringLiteral("dialog-export"));
    shootDialog(new NotebookDialog(QStringLiteral("New Notebook"), QString(), window),
                QStringLiteral("dialog-new-notebook"));
    shootDialog(new MoveToNotebookDialog(state->notebooks()->allNotebooks(), open.notebookId, window),
                QStringLiteral("dialog-move-to-notebook"));
    shootDialog(new ImportDialog(state, window), QStringLiteral("dialog-import"));

    SettingsDialog* settings = window->openSettings();
    auto* categories = settings->findChild<QListWidget*>(QStringLiteral("categoryList"));
    for (int row = 0; categories && row < categories->count(); ++row) {
        categories->setCurrentRow(row);
        const QString page = categories->item(row)->text().toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
        save(settings, QStringLiteral("settings-") + page);
    }
    settings->close();
    settle(100);
}

// ---- Account and sharing, against the reference server -------------------------------------------

bool waitFor(const std::function<bool()>& done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

// A session of a seeded user as one of the user's apps would open it, so the security page shows
// the app's own user agent rather than the tool's.
DevServer::Tokens signInAs(DevServer& server, const QString& email, const QByteArray& agent)
{
    const QJsonObject o = DevServer::send(server.url(QStringLiteral("/admin/tokens")), "POST",
                                          QJsonDocument(QJsonObject{{"email", email}}).toJson(), {}, "application/json",
                                          {{"User-Agent", agent}})
                              .json();
    return DevServer::Tokens{o.value("access_token").toString(), o.value("refresh_token").toString(),
                             o.value("account_id").toString(), o.value("auth_user_id").toString()};
}

// The seeded group made fuller: Cleo joins Ada's group by an invite code, an e-mail invitation stays
// pending, and Ada's phone-sized laptop has synced an hour ago besides the desktop the app runs on.
bool seedGroup(DevServer& server, const QString& adaAccess)
{
    const DevServer::Tokens cleo = server.signIn(DevServer::Cleo);
    const QString code = server.callJson("POST", QStringLiteral("/account/v1/group/invite"), {}, adaAccess)
                             .json()
                             .value(QStringLiteral("invite_code"))
                             .toString();
    if (code.isEmpty() ||
        DevServer::send(server.url(QStringLiteral("/account/v1/group/join/") + code), "POST", {}, cleo.access).status !=
            200)
        return false;
    server.callJson("POST", QStringLiteral("/account/v1/group/invite"), {{"email", "dan.reyes@example.com"}},
                    adaAccess);
    const DevServer::Tokens laptop = signInAs(server, DevServer::Ada, "Norvane Notes/1.0.4 (Windows 11; x64)");
    DevServer::send(server.url(QStringLiteral("/notes/v1/sync/pull")), "GET", {}, laptop.access, "application/json",
                    {{"X-App-Id", "app.norvane.notes"}, {"X-App-Version", "1.0.4"}, {"X-Platform", "windows"}});
    return true;
}

bool shareOnServer(DevServer& server, const QString& access, const QString& path, const QString& who,
                   const QString& permission)
{
    const int status =
        server.callJson("POST", path, {{"auth_user_id", who}, {"permission", permission}}, access).status;
    return status == 200 || status == 201;
}

void shootAccount()
{
    DevServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "account shots skipped: %s\n", qPrintable(server.errorString()));
        return;
    }
    const DevServer::Tokens ada = signInAs(server, DevServer::Ada, "Norvane Notes/1.1.1 (Linux; x86_64)");
    if (!seedGroup(server, ada.access)) {
        std::fprintf(stderr, "account shots skipped: the group could not be seeded\n");
        return;
    }
    qputenv("AUTH_BASE_URL", server.url(QStringLiteral("/auth")).toString().toUtf8());
    qputenv("ACCOUNT_API_URL", server.url(QStringLiteral("/account/v1")).toString().toUtf8());
    qputenv("SYNC_API_URL", server.url(QStringLiteral("/notes/v1")).toString().toUtf8());
    qputenv("ACCOUNT_PORTAL_URL", server.url(QStringLiteral("/portal")).toString().toUtf8());
    auto vault = std::make_shared<NorvAccount::MemoryTokenStore::Vault>();
    vault->insert(QString::fromLatin1(NorvAccount::TokenStore::kAccessTokenKey), ada.access);
    vault->insert(QString::fromLatin1(NorvAccount::TokenStore::kRefreshTokenKey), ada.refresh);

    QString tripId, planId, notebookId;
    auto library = openLibrary(
        [&](AppState* state) {
            for (const Note& note : state->notes()->allNotes())
                state->notes()->purge(note.id);
            fillLibrary(state, 40);
            for (const Notebook& notebook : state->notebooks()->allNotebooks()) {
                if (notebook.name == QLatin1String("Travel"))
                    notebookId = notebook.id;
            }
            const QDateTime now = QDateTime::currentDateTimeUtc();
            Note trip;
            trip.id = tripId = newId();
            trip.notebookId = notebookId;
            trip.body = Delta()
                            .title(QStringLiteral("Lisbon trip with the lab"))
                            .paragraph(QStringLiteral("Flights on the 14th, back on the 19th."))
                            .check(QStringLiteral("Book the apartment in Alfama"), true)
                            .check(QStringLiteral("Reserve the tram tour"), false)
                            .json();
            trip.createdAt = trip.updatedAt = trip.modifiedAt = now;
            state->notes()->insert(trip);
            Note plan = trip;
            plan.id = planId = newId();
            plan.notebookId.clear();
            plan.body = Delta()
                            .title(QStringLiteral("Analytical engine reading group"))
                            .paragraph(QStringLiteral("Chapter three next Tuesday; Ben brings the diagrams."))
                            .json();
            state->notes()->insert(plan);
        },
        [vault](AppState* state) {
            state->setTokenStoreFactory([vault] { return std::make_unique<NorvAccount::MemoryTokenStore>(vault); });
        });
    AppState* state = library->state.get();
    MainWindow* window = library->window.get();
    // Everything local reaches the service, then the trip and its notebook are shared.
    state->sync()->syncNow();
    const QString shares = QStringLiteral("/notes/v1/shares/notes/%1").arg(tripId);
    if (!waitFor([&] { return DevServer::send(server.url(shares), "GET", {}, ada.access).status == 200; }) ||
        !waitFor([&] {
            return DevServer::send(server.url(QStringLiteral("/notes/v1/notebooks/%1/shares").arg(notebookId)), "GET",
                                   {}, ada.access)
                       .status == 200;
        })) {
        std::fprintf(stderr, "account shots skipped: the library did not reach the server\n");
        return;
    }
    const QString benId = server.signIn(DevServer::Ben).authUserId;
    const QString cleoId = server.signIn(DevServer::Cleo).authUserId;
    shareOnServer(server, ada.access, shares, benId, QStringLiteral("view"));
    shareOnServer(server, ada.access, shares, cleoId, QStringLiteral("edit"));
    shareOnServer(server, ada.access, QStringLiteral("/notes/v1/notebooks/%1/share").arg(notebookId), benId,
                  QStringLiteral("view"));
    state->sync()->syncNow();
    if (!waitFor([&] { return state->canShare() && state->sync()->state() == SyncEngine::Idle; })) {
        std::fprintf(stderr, "account shots skipped: sharing never became available\n");
        return;
    }
    openNote(*library, tripId);
    save(window, QStringLiteral("main-shared-note"));

    NorvAccount::AccountScreen* screen = window->openAccountScreen();
    QSet<int> rebuilt;
    QObject::connect(screen, &NorvAccount::AccountScreen::pageRebuilt, screen,
                     [&rebuilt](int page) { rebuilt.insert(page); });
    screen->refreshAll();
    waitFor([&] { return rebuilt.size() >= 4; });
    const QStringList pages = {QStringLiteral("profile"), QStringLiteral("group"), QStringLiteral("devices"),
                               QStringLiteral("security"), QStringLiteral("privacy")};
    for (int page = 0; page < pages.size(); ++page) {
        screen->setCurrentPage(page);
        save(screen, QStringLiteral("account-") + pages[page]);
    }
    screen->close();
    settle(100);

    auto shootShare = [](QWidget* dialog, const QString& name) {
        auto* share = qobject_cast<NorvAccount::ShareMembersDialog*>(dialog);
        if (!share) {
            std::fprintf(stderr, "no share dialog for %s\n", qPrintable(name));
            return;
        }
        waitFor([share] { return share->isLoaded(); });
        shootDialog(share, name);
    };
    shootShare(NoteActions::openShareDialog(window, state, planId), QStringLiteral("dialog-share-note"));
    shootShare(NoteActions::openShareDialog(window, state, tripId), QStringLiteral("dialog-manage-sharing"));
    shootShare(NoteActions::openNotebookShareDialog(window, state, notebookId),
               QStringLiteral("dialog-share-notebook"));

    SettingsDialog* settings = window->openSettings();
    if (auto* categories = settings->findChild<QListWidget*>(QStringLiteral("categoryList"))) {
        categories->setCurrentRow(categories->count() - 1);
        waitFor([settings] {
            auto* details = settings->findChild<QLabel*>(QStringLiteral("accountDetailsLabel"));
            return details && !details->isHidden();
        });
        save(settings, QStringLiteral("settings-account-signed-in"));
    }
    settings->close();
    settle(100);
    library.reset();

    // Ben's side: the trip arrives with the next sync, shared for viewing only.
    const DevServer::Tokens ben = signInAs(server, DevServer::Ben, "Norvane Notes/1.1.1 (Linux; x86_64)");
    auto benVault = std::make_shared<NorvAccount::MemoryTokenStore::Vault>();
    benVault->insert(QString::fromLatin1(NorvAccount::TokenStore::kAccessTokenKey), ben.access);
    benVault->insert(QString::fromLatin1(NorvAccount::TokenStore::kRefreshTokenKey), ben.refresh);
    auto benLibrary = openLibrary({}, [benVault](AppState* state) {
        state->setTokenStoreFactory([benVault] { return std::make_unique<NorvAccount::MemoryTokenStore>(benVault); });
    });
    AppState* benState = benLibrary->state.get();
    benState->sync()->syncNow();
    if (!waitFor([&] {
            return benState->notes()->noteById(tripId).has_value() && benState->sync()->state() == SyncEngine::Idle;
        })) {
        std::fprintf(stderr, "the shared note never reached Ben\n");
        return;
    }
    benLibrary->window->refreshNoteList();
    openNote(*benLibrary, tripId);
    save(benLibrary->window.get(), QStringLiteral("main-view-only-note"));
}

} // namespace

int main(int argc, char** argv)
{
    // Window state goes to a throwaway config directory, never to the developer's own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());

    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_shots <out-dir>\n");
        return 2;
    }
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setApplicationName(QStringLiteral("Norvane Notes ui_shots"));
    // Sent with every service call, so the devices page shows the app's version as the app itself would.
    QApplication::setApplicationVersion(QStringLiteral("1.1.1"));
    QApplication::setQuitOnLastWindowClosed(false);
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);
    // The fonts live in a static library's resources.
    Q_INIT_RESOURCE(norv_resources);
    const QString family = registerFonts();
    std::printf("application font: %s (resolved: %s)\n", qPrintable(family),
                qPrintable(QFontInfo(QApplication::font()).family()));

    // NORV_SHOTS=account (or a comma list of welcome, library, account) takes only those shots.
    const QStringList only = qEnvironmentVariable("NORV_SHOTS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto wanted = [&only](const char* group) {
        return only.isEmpty() || only.contains(QLatin1String(group));
    };
    for (const QString& theme : {QStringLiteral("light"), QStringLiteral("dark")}) {
        g_theme = theme;
        if (wanted("welcome")) {
            shootWelcomeNotes();
            shootWelcomePage();
        }
        if (wanted("library"))
            shootLibrary();
        if (wanted("account"))
            shootAccount();
    }
    for (const QString& path : g_written)
        std::printf("%s\n", qPrintable(path));
    return 0;
}
