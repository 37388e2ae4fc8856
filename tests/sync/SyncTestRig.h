#pragma once

// Devices for the sync tests: each is a real library (SQLite file, attachments folder) in its own
// temporary directory, signed in to the reference server through the real request layer.

#include "../DevServer.h"
#include "../TestLibrary.h"
#include "ApiClient.h"
#include "AttachmentRepository.h"
#include "Database.h"
#include "NorvAccountClient.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferencesRepository.h"
#include "SnapshotRepository.h"
#include "SyncEngine.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

// The reference server on a free port with a data folder of its own, stopped with the object.
struct ServerProcess : DevServer
{
    QString root; // "http://127.0.0.1:PORT"
    bool start()
    {
        root = url().toString();
        return isRunning();
    }
};

struct Device
{
    QTemporaryDir dir;
    Database database;
    QObject owner;
    NoteRepository* notes = nullptr;
    NotebookRepository* notebooks = nullptr;
    AttachmentRepository* attachments = nullptr;
    PreferencesRepository* preferences = nullptr;
    SnapshotRepository* snapshots = nullptr;
    NorvAccount::Client* account = nullptr;
    NorvAccount::TokenManager* tokens = nullptr;
    NorvAccount::ApiClient* api = nullptr;
    SyncEngine* engine = nullptr;
    bool ok = false;
    QString m_root;
    QString m_email;

    // root: the server's "http://127.0.0.1:PORT"; email: a seeded user, signed in with a session of
    // its own.
    Device(const QString& root, const QString& email)
    {
        if (!dir.isValid() || !database.open(dir.filePath(QStringLiteral("notes.db"))) || !database.migrate())
            return;
        notes = new NoteRepository(&database, &owner);
        notebooks = new NotebookRepository(&database, &owner);
        preferences = new PreferencesRepository(&database, &owner);
        snapshots = new SnapshotRepository(&database, &owner);
        attachments = new AttachmentRepository(&database, &owner, dir.filePath(QStringLiteral("attachments")));

        // The account facade as the app builds it, so a refused token is refreshed as it would be there.
        NorvAccount::ClientConfig config;
        config.authBaseUrl = root + QStringLiteral("/auth");
        account = new NorvAccount::Client(config, std::make_unique<NorvAccount::MemoryTokenStore>(), &owner);
        tokens = account->tokenManager();
        api = account->notesApi();
        api->setBaseUrl(QUrl(root + QStringLiteral("/notes/v1")));
        // A hanging server must end a request within the test's patience.
        api->setTransferTimeout(3000);
        account->authApi()->setTransferTimeout(3000);
        m_root = root;
        m_email = email;
        signIn();

        engine = new SyncEngine(api, notes, notebooks, attachments, preferences, &owner);
        engine->setSnapshots(snapshots);
        ok = !tokens->accessToken().isEmpty();
    }

    // A session of its own, as a sign-in in the browser would give.
    void signIn()
    {
        const DevServer::Tokens t = DevServer::signIn(m_root, m_email);
        tokens->setTokens(t.access, t.refresh);
    }

    // Runs one sync to its end; true when it completed, false when it failed.
    bool sync(int patienceMs = 15000)
    {
        QSignalSpy done(engine, &SyncEngine::syncCompleted);
        QSignalSpy failed(engine, &SyncEngine::syncFailed);
        engine->syncNow();
        // A failure signal may come from an auth problem while the run still goes on; wait it out.
        const bool ended = QTest::qWaitFor(
            [&] { return (!done.isEmpty() || !failed.isEmpty()) && engine->state() != SyncEngine::Syncing; },
            patienceMs);
        return ended && !done.isEmpty() && failed.isEmpty();
    }

    Note newNote(const QString& text, const QString& notebookId = QString())
    {
        const Note n = makeNote(newId(), bodyOf(text), notebookId, QDateTime::currentDateTimeUtc());
        notes->insert(n);
        return n;
    }

    QString newNotebook(const QString& name)
    {
        Notebook nb;
        nb.id = newId();
        nb.name = name;
        nb.createdAt = nb.updatedAt = QDateTime::currentDateTimeUtc();
        return notebooks->insert(nb) ? nb.id : QString();
    }

    // A file attached to a note, waiting for upload; returns its id.
    QString attach(const QString& noteId, const QString& filename, const QByteArray& bytes)
    {
        const QString id = newId();
        attachments->saveFile(id, bytes);
        attachments->insert(Attachment{id, noteId, filename, QString(), bytes.size(), QDateTime::currentDateTimeUtc(),
                                       SyncStatus::Pending});
        return id;
    }

    // An edit as the editor stores it.
    void edit(const QString& id, const QString& text)
    {
        Note n = *notes->noteById(id);
        n.body = bodyOf(text);
        n.updatedAt = n.modifiedAt = QDateTime::currentDateTimeUtc();
        n.version += 1;
        n.syncStatus = SyncStatus::Pending;
        notes->update(n);
    }

    static QString bodyOf(const QString& text)
    {
        return QString::fromUtf8(
            QJsonDocument(QJsonArray{QJsonObject{{QStringLiteral("insert"), text + QLatin1Char('\n')}}})
                .toJson(QJsonDocument::Compact));
    }

    // Every note (trash included) as "id|body|notebook|trashed" and every notebook as "id|name", sorted:
    // what two converged libraries share.
    QStringList library() const
    {
        QStringList out;
        for (const Note& n : notes->allNotes() + notes->trashedNotes())
            out << QStringLiteral("%1|%2|%3|%4").arg(n.id, n.body, n.notebookId, n.isTrashed() ? "T" : "");
        for (const Notebook& nb : notebooks->allNotebooks())
            out << nb.id + QLatin1Char('|') + nb.name;
        out.sort();
        return out;
    }

    QStringList keptBodies(const QString& noteId) const
    {
        QStringList out;
        for (const Snapshot& s : snapshots->snapshotsForNote(noteId)) {
            if (SnapshotRepository::isKept(s))
                out << s.body;
        }
        return out;
    }
};
