// One device for two-clients.sh: the application's state (database, repositories, account client,
// sync engine, wired as the program wires them) on a data folder of its own, signed in to a seeded
// account of the reference server, carrying out the steps named on the command line in order.
//   two_clients_driver --server URL --data DIR --keys FILE --written FILE --name A step...
// Steps (KEY names a note, notebook or attachment across both devices through the keys file):
//   sync                     one run; prints how it ended
//   notebook:KEY:NAME        a new notebook
//   create:KEY:TEXT          a new note          edit:KEY:TEXT     the note's text, as the editor saves it
//   move:KEY:NOTEBOOK        into a notebook     trash:KEY  restore:KEY  purge:KEY
//   attach:KEY:ATTACHMENT    a small file on the note
// The last text each device gave each note goes to the written file ("device<TAB>id<TAB>body"), for
// the script's check that no text was lost. Exit code 0 unless a step could not be carried out.
#include "ApiClient.h"
#include "AppState.h"
#include "AttachmentRepository.h"
#include "NorvAccountClient.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "SyncEngine.h"
#include "TokenStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>

namespace {

QTextStream out(stdout);

QString bodyOf(const QString& text)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray{QJsonObject{{QStringLiteral("insert"), text + QLatin1Char('\n')}}})
            .toJson(QJsonDocument::Compact));
}

// Waits in the event loop (this is a driver, not the application) until done() or the time is up.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QJsonObject adminTokens(const QString& server)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(server + QStringLiteral("/admin/tokens")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply = nam.post(request, QByteArrayLiteral(R"({"email":"ada@example.com"})"));
    waitFor([reply] { return reply->isFinished(); }, 10000);
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return answer;
}

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setApplicationName(QStringLiteral("Notes"));
    QString server, keysPath, writtenPath, name = QStringLiteral("?");
    QStringList steps;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--server") && i + 1 < args.size())
            server = args.at(++i);
        else if (a == QLatin1String("--data") && i + 1 < args.size())
            qputenv("NOTES_DATA_DIR", args.at(++i).toUtf8());
        else if (a == QLatin1String("--keys") && i + 1 < args.size())
            keysPath = args.at(++i);
        else if (a == QLatin1String("--written") && i + 1 < args.size())
            writtenPath = args.at(++i);
        else if (a == QLatin1String("--name") && i + 1 < args.size())
            name = args.at(++i);
        else
            steps << a;
    }
    qputenv("AUTH_BASE_URL", (server + QStringLiteral("/auth")).toUtf8());
    qputenv("ACCOUNT_API_URL", (server + QStringLiteral("/account/v1")).toUtf8());
    qputenv("SYNC_API_URL", (server + QStringLiteral("/notes/v1")).toUtf8());

    // A session of its own for this start, as a sign-in in the browser would give.
    const QJsonObject tokens = adminTokens(server);
    auto vault = std::make_shared<NorvAccount::MemoryTokenStore::Vault>();
    vault->insert(QString::fromLatin1(NorvAccount::TokenStore::kAccessTokenKey),
                  tokens.value(QLatin1String("access_token")).toString());
    vault->insert(QString::fromLatin1(NorvAccount::TokenStore::kRefreshTokenKey),
                  tokens.value(QLatin1String("refresh_token")).toString());
    AppState state;
    state.setTokenStoreFactory([vault] { return std::make_unique<NorvAccount::MemoryTokenStore>(vault); });
    if (!state.initialize()) {
        out << name << ": the database did not open" << Qt::endl;
        return 2;
    }
    // A hanging server costs this long per request instead of the usual half minute.
    state.account()->notesApi()->setTransferTimeout(4000);
    state.account()->authApi()->setTransferTimeout(4000);
    SyncEngine* sync = state.sync();
    // A refused session (the server answering 401 to everything) is part of the test: go on signed out.
    if (!waitFor([&] { return state.signedIn(); }, 15000))
        out << name << ": not signed in" << Qt::endl;
    // Signing in starts a run of its own; let it end first.
    waitFor([&] { return sync->state() != SyncEngine::Syncing; }, 60000);

    QJsonObject keys = readJson(keysPath);
    QFile written(writtenPath);
    written.open(QIODevice::Append);
    auto idOf = [&](const QString& key) {
        return keys.value(key).toString();
    };
    auto wrote = [&](const QString& id, const QString& body) {
        written.write(QStringLiteral("%1\t%2\t%3\n").arg(name, id, body).toUtf8());
    };

    int code = 0;
    for (const QString& step : std::as_const(steps)) {
        const QStringList p = step.split(QLatin1Char(':'));
        const QString verb = p.value(0);
        const QString text = p.mid(2).join(QLatin1Char(':'));
        bool ok = true;
        if (verb == QLatin1String("sync")) {
            bool completed = false, failed = false;
            QString error;
            auto c1 = QObject::connect(sync, &SyncEngine::syncCompleted, [&] { completed = true; });
            auto c2 = QObject::connect(sync, &SyncEngine::syncFailed, [&](const QString& e) {
                failed = true;
                error = e;
            });
            sync->syncNow();
            waitFor([&] { return (completed || failed) && sync->state() != SyncEngine::Syncing; }, 90000);
            QObject::disconnect(c1);
            QObject::disconnect(c2);
            out << name << ": sync " << (failed ? QStringLiteral("failed: ") + error : QStringLiteral("completed"))
                << ", " << SyncEngine::stateText(sync->state());
            if (!sync->leftBehind().isEmpty())
                out << " (left behind: " << sync->leftBehind().join(QStringLiteral("; ")) << ")";
            out << Qt::endl;
        } else if (verb == QLatin1String("notebook")) {
            Notebook nb;
            nb.id = newId();
            nb.name = text;
            nb.createdAt = nb.updatedAt = QDateTime::currentDateTimeUtc();
            ok = state.notebooks()->insert(nb);
            keys.insert(p.value(1), nb.id);
        } else if (verb == QLatin1String("create")) {
            Note n;
            n.id = newId();
            n.body = bodyOf(text);
            n.createdAt = n.updatedAt = n.modifiedAt = QDateTime::currentDateTimeUtc();
            ok = state.notes()->insert(n);
            keys.insert(p.value(1), n.id);
            wrote(n.id, n.body);
        } else if (verb == QLatin1String("edit")) {
            auto n = state.notes()->noteById(idOf(p.value(1)));
            ok = n.has_value();
            if (ok) {
                n->body = bodyOf(text);
                n->updatedAt = n->modifiedAt = QDateTime::currentDateTimeUtc();
                n->version += 1;
                n->syncStatus = SyncStatus::Pending;
                ok = state.notes()->update(*n);
                wrote(n->id, n->body);
            }
        } else if (verb == QLatin1String("move")) {
            ok = state.notes()->moveToNotebook(idOf(p.value(1)), idOf(p.value(2)));
        } else if (verb == QLatin1String("trash")) {
            ok = state.notes()->moveToTrash(idOf(p.value(1)));
        } else if (verb == QLatin1String("restore")) {
            ok = state.notes()->restore(idOf(p.value(1)));
        } else if (verb == QLatin1String("purge")) {
            ok = state.notes()->purge(idOf(p.value(1)));
        } else if (verb == QLatin1String("attach")) {
            Attachment a;
            a.id = newId();
            a.noteId = idOf(p.value(1));
            a.filename = p.value(2) + QStringLiteral(".bin");
            a.mimeType = QStringLiteral("application/octet-stream");
            const QByteArray bytes = (p.value(2).toUtf8() + ' ').repeated(300);
            a.sizeBytes = bytes.size();
            a.createdAt = QDateTime::currentDateTimeUtc();
            ok = state.attachments()->saveFile(a.id, bytes) && state.attachments()->insert(a);
            keys.insert(p.value(2), a.id);
        } else {
            ok = false;
        }
        if (verb != QLatin1String("sync"))
            out << name << ": " << step << (ok ? "" : "  FAILED") << Qt::endl;
        if (!ok)
            code = 1;
    }

    QFile keysFile(keysPath);
    if (keysFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        keysFile.write(QJsonDocument(keys).toJson());
    // Edits made above schedule a run of their own; stop before it starts.
    sync->stop();
    return code;
}
