#include "../../../tests/DevServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHttpMultiPart>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

namespace {

const QString AdaAuth = QStringLiteral("1d000000-0000-4000-8000-00000000000a");
const QString AdaAccount = QStringLiteral("ac000000-0000-4000-8000-00000000000a");
const QString BenAuth = QStringLiteral("1d000000-0000-4000-8000-00000000000b");
const QString CleoAuth = QStringLiteral("1d000000-0000-4000-8000-00000000000c");
const QString SignIn = QStringLiteral("/auth/api/v1/realms/norvane");
const QString EmptyBody = QStringLiteral("[{\"insert\":\"\\n\"}]");

QJsonObject claims(const QString& token)
{
    const auto payload =
        QByteArray::fromBase64Encoding(token.section(QLatin1Char('.'), 1, 1).toLatin1(), QByteArray::Base64UrlEncoding);
    return QJsonDocument::fromJson(*payload).object();
}

QJsonObject change(const QString& id, qint64 version, const QString& text, qint64 baseVersion = -1,
                   const QString& notebookId = QString())
{
    QJsonObject data{{"body", QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text)},
                     {"created_at", 1000},
                     {"updated_at", 2000},
                     {"modified_at", 3000}};
    if (!notebookId.isEmpty())
        data.insert("notebook_id", notebookId);
    QJsonObject c{
        {"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", version}, {"data", data}};
    if (baseVersion >= 0)
        c.insert("base_version", baseVersion);
    return c;
}

QJsonObject findNote(const QJsonArray& changes, const QString& id)
{
    for (const QJsonValue& v : changes) {
        if (v.toObject().value("id").toString() == id)
            return v.toObject();
    }
    return {};
}

} // namespace

class tst_DevServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void browserSignInAndTokenRotation();
    void lostRefreshAnswerCanBeRepeated();
    void accountAndGroupWalk();
    void notesAreSeenOnlyThroughShares();
    void pushConflictRules_data();
    void pushConflictRules();
    void attachmentRoundTrip();
    void updateService();
    void refusals_data();
    void refusals();
    void faultSwitches_data();
    void faultSwitches();
    void hostileInput_data();
    void hostileInput();
    void oversizedBodyIsRefusedBeforeReading();

private:
    QJsonObject push(const QString& token, const QJsonObject& c)
    {
        return s()
            .callJson("POST", "/notes/v1/sync/push", {{"changes", QJsonArray{c}}}, token)
            .json()
            .value("results")
            .toArray()
            .first()
            .toObject();
    }
    QJsonObject pull(const QString& token, qint64 since = -1)
    {
        return call("GET",
                    since < 0 ? QStringLiteral("/notes/v1/sync/pull")
                              : QStringLiteral("/notes/v1/sync/pull?since=%1").arg(since),
                    {}, token)
            .json();
    }
    DevServer::Reply call(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray(),
                          const QString& bearer = QString(), const QByteArray& contentType = "application/json",
                          const QList<QPair<QByteArray, QByteArray>>& headers = {}, int timeoutMs = 20000)
    {
        return DevServer::send(s().url(path), method, body, bearer, contentType, headers, timeoutMs);
    }
    DevServer& s() { return *m_server; }

    std::unique_ptr<DevServer> m_server;
    DevServer::Tokens m_ada, m_ben, m_cleo;
    QString m_benShareId;
};

void tst_DevServer::initTestCase()
{
    m_server = std::make_unique<DevServer>();
    QVERIFY2(s().isRunning(), qPrintable(s().errorString()));
    m_ada = s().signIn(DevServer::Ada);
    m_ben = s().signIn(DevServer::Ben);
    m_cleo = s().signIn(DevServer::Cleo);
    QVERIFY(!m_ada.access.isEmpty() && !m_ben.access.isEmpty() && !m_cleo.access.isEmpty());
    // Fixtures for the refusals: a private note with a file, and a note shared with Ben.
    QCOMPARE(push(m_ada.access, change("n-private", 1, "secret")).value("status").toString(), "ok");
    QCOMPARE(push(m_ada.access, change("n-shared", 1, "for ben")).value("status").toString(), "ok");
    const auto share =
        s().callJson("POST", "/notes/v1/shares/notes/n-shared",
                     {{"account_id", BenAuth}, {"auth_user_id", BenAuth}, {"permission", "view"}}, m_ada.access);
    QCOMPARE(share.status, 201);
    m_benShareId = share.json().value("id").toString();
}

void tst_DevServer::browserSignInAndTokenRotation()
{
    const QString login = QStringLiteral("/auth/norvane/account/login?client_id=0123456789abcdef0123456789abcdef"
                                         "&redirect_uri=http%3A%2F%2Flocalhost%3A19876%2Fcallback&state=a%20b%26c");
    const auto form = [](const char* password) {
        return QByteArray("email=ada%40example.com&password=") + password;
    };
    QCOMPARE(call("POST", login, form("wrong"), {}, "application/x-www-form-urlencoded").status, 401);

    // The redirect reaches the app's loopback listener with the tokens in the query.
    QNetworkAccessManager nam;
    QNetworkRequest request(s().url(login));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    std::unique_ptr<QNetworkReply> reply(nam.post(request, form("ada-secret-1")));
    QSignalSpy done(reply.get(), &QNetworkReply::finished);
    QVERIFY(done.wait(20000));
    const QUrl redirect = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    QCOMPARE(redirect.host(), "localhost");
    QCOMPARE(redirect.port(), 19876);
    QCOMPARE(redirect.path(), "/callback");
    const QUrlQuery query(redirect);
    QCOMPARE(query.queryItemValue("state", QUrl::FullyDecoded), "a b&c");
    const QString access = query.queryItemValue("access_token");
    QString refresh = query.queryItemValue("refresh_token");
    QVERIFY(!refresh.isEmpty());

    const QJsonObject c = claims(access);
    QCOMPARE(c.value("sub").toString(), AdaAuth);
    QCOMPARE(c.value("custom").toObject().value("nor").toObject().value("role").toString(), "owner");
    QCOMPARE(c.value("custom").toObject().value("nor").toObject().value("account_id").toString(), AdaAccount);
    QCOMPARE(c.value("exp").toInteger() - c.value("iat").toInteger(), 900);
    QCOMPARE(call("GET", SignIn + "/users/me", {}, access).json().value("id").toString(), AdaAuth);

    const auto refreshWith = [&](const QString& token) {
        return s().callJson("POST", SignIn + "/auth/token/refresh", {{"refresh_token", token}});
    };
    const QString t0 = refresh;
    const auto first = refreshWith(t0);
    QCOMPARE(first.status, 200);
    const QString t1 = first.json().value("refresh_token").toString();
    QVERIFY(t1 != t0);
    QCOMPARE(refreshWith(t0).status, 200); // t1 unused yet, so t0 still works and t1 is replaced
    QCOMPARE(refreshWith(t1).status, 401);
    const auto latest = s().requests(SignIn + "/auth/token/refresh");
    QCOMPARE(latest.last().toObject().value("status").toInt(), 401);

    const QString newAccess = first.json().value("access_token").toString();
    QCOMPARE(call("POST", SignIn + "/auth/logout", {}, newAccess).status, 204);
    QCOMPARE(call("GET", SignIn + "/users/me", {}, newAccess).status, 401);
    QCOMPARE(refreshWith(t0).status, 401);
}

void tst_DevServer::lostRefreshAnswerCanBeRepeated()
{
    const auto tokens = s().signIn(DevServer::Ben);
    const auto refreshWith = [&](const QString& token) {
        return s().callJson("POST", SignIn + "/auth/token/refresh", {{"refresh_token", token}});
    };
    // Qt resends a request whose connection closed unanswered, so the switch stays on for the whole first call.
    QVERIFY(s().addFault({{"pattern", SignIn + "/auth/token/refresh"}, {"action", "drop"}, {"after", true}}));
    QCOMPARE(refreshWith(tokens.refresh).status, 0);
    QVERIFY(s().clearFaults());
    const auto retry = refreshWith(tokens.refresh);
    QCOMPARE(retry.status, 200);
    const QString next = retry.json().value("refresh_token").toString();
    QCOMPARE(refreshWith(next).status, 200);
    QCOMPARE(refreshWith(tokens.refresh).status, 401); // retired once its successor was used
}

void tst_DevServer::accountAndGroupWalk()
{
    const QList<QPair<QByteArray, QByteArray>> app{
        {"X-App-Id", "com.norvane.notes"}, {"X-App-Version", "1.1.1"}, {"X-Platform", "linux"}};
    const auto profile = call("GET", "/account/v1/profile", {}, m_ada.access, "application/json", app).json();
    QCOMPARE(profile.value("id").toString(), AdaAccount);
    QCOMPARE(profile.value("group").toObject().value("role").toString(), "owner");
    QVERIFY(!call("GET", "/account/v1/profile", {}, m_cleo.access).json().contains("group"));

    const QJsonArray devices = call("GET", "/account/v1/devices", {}, m_ada.access).json().value("devices").toArray();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.first().toObject().value("app_version").toString(), "1.1.1");
    QCOMPARE(devices.first().toObject().value("platform").toString(), "linux");

    QCOMPARE(call("POST", "/account/v1/group/invite", {}, m_ben.access).status, 403);
    const auto invite = call("POST", "/account/v1/group/invite", {}, m_ada.access);
    QCOMPARE(invite.status, 201);
    const QString code = invite.json().value("invite_code").toString();
    QCOMPARE(call("POST", "/account/v1/group/join/NOSUCHCODE", {}, m_cleo.access).status, 404);
    QCOMPARE(call("POST", "/account/v1/group/join/" + code, {}, m_cleo.access).status, 200);
    QCOMPARE(call("GET", "/account/v1/group", {}, m_ada.access).json().value("members").toArray().size(), 3);

    // The role claim follows at the next refresh.
    const auto refreshed = s().callJson("POST", SignIn + "/auth/token/refresh", {{"refresh_token", m_cleo.refresh}});
    const QJsonObject c = claims(refreshed.json().value("access_token").toString());
    QCOMPARE(c.value("custom").toObject().value("nor").toObject().value("role").toString(), "member");

    QCOMPARE(call("POST", "/account/v1/group/leave", {}, m_ada.access).status, 409);
    QCOMPARE(call("POST", "/account/v1/group/leave", {}, m_cleo.access).status, 204);
    QCOMPARE(call("GET", "/account/v1/group", {}, m_cleo.access).status, 404);
}

void tst_DevServer::notesAreSeenOnlyThroughShares()
{
    QCOMPARE(s().callJson("POST", "/notes/v1/notebooks", {{"id", "nb-walk"}, {"name", "Walk"}}, m_ada.access).status,
             201);
    QCOMPARE(push(m_ada.access, change("n-walk", 1, "hello", -1, "nb-walk")).value("status").toString(), "ok");

    const QJsonObject own = pull(m_ada.access);
    const QJsonObject mine = findNote(own.value("changes").toArray(), "n-walk");
    QCOMPARE(mine.value("owner_id").toString(), QString());
    QCOMPARE(mine.value("notebook_id").toString(), "nb-walk");
    QCOMPARE(mine.value("is_shared").toBool(), false);
    const qint64 adaCursor = own.value("timestamp").toInteger();

    const QJsonObject before = pull(m_ben.access);
    QVERIFY(findNote(before.value("changes").toArray(), "n-walk").isEmpty());
    const qint64 benCursor = before.value("timestamp").toInteger();
    QCOMPARE(s().callJson("POST", "/notes/v1/shares/notes/n-walk",
                          {{"account_id", BenAuth}, {"auth_user_id", BenAuth}, {"permission", "edit"}}, m_ada.access)
                 .status,
             201);

    const QJsonObject after = pull(m_ben.access, benCursor);
    const QJsonObject theirs = findNote(after.value("changes").toArray(), "n-walk");
    QCOMPARE(theirs.value("owner_id").toString(), AdaAccount);
    QCOMPARE(theirs.value("permission").toString(), "edit");
    QCOMPARE(theirs.value("notebook_id").toString(), QString()); // Ben cannot see the notebook
    QCOMPARE(theirs.value("body").toString(), "[{\"insert\":\"hello\\n\"}]");
    QVERIFY(after.value("timestamp").toInteger() > benCursor);
    QVERIFY(findNote(pull(m_ada.access, adaCursor).value("changes").toArray(), "n-walk").value("is_shared").toBool());
    const QJsonObject nothingNew = pull(m_ben.access, after.value("timestamp").toInteger());
    QVERIFY(nothingNew.value("changes").toArray().isEmpty());
    QCOMPARE(nothingNew.value("timestamp").toInteger(), after.value("timestamp").toInteger());
    QVERIFY(findNote(pull(m_cleo.access).value("changes").toArray(), "n-walk").isEmpty());

    // Unsharing reaches Ben as an emptied note in the trash.
    const QJsonArray shares =
        call("GET", "/notes/v1/shares/notes/n-walk", {}, m_ada.access).json().value("shares").toArray();
    QCOMPARE(shares.size(), 2);
    QCOMPARE(shares.at(0).toObject().value("permission").toString(), "owner");
    QCOMPARE(shares.at(1).toObject().value("shared_with_account_id").toString(), BenAuth);
    const QString shareId = shares.at(1).toObject().value("id").toString();
    QCOMPARE(call("DELETE", "/notes/v1/shares/notes/n-walk/" + shareId, {}, m_ada.access).status, 204);
    const QJsonObject gone =
        findNote(pull(m_ben.access, after.value("timestamp").toInteger()).value("changes").toArray(), "n-walk");
    QVERIFY(gone.value("deleted_at").toInteger() > 0);
    QCOMPARE(gone.value("body").toString(), EmptyBody);

    // Sharing the notebook brings its notes back, filed in it.
    QCOMPARE(s().callJson("POST", "/notes/v1/notebooks/nb-walk/share",
                          {{"auth_user_id", BenAuth}, {"permission", "view"}}, m_ada.access)
                 .status,
             201);
    const QJsonArray notebooks =
        call("GET", "/notes/v1/notebooks", {}, m_ben.access).json().value("notebooks").toArray();
    QVERIFY(std::any_of(notebooks.begin(), notebooks.end(), [](const QJsonValue& v) {
        return v.toObject().value("id").toString() == "nb-walk" && v.toObject().value("is_shared").toBool();
    }));
    const QJsonObject back =
        findNote(pull(m_ben.access, after.value("timestamp").toInteger()).value("changes").toArray(), "n-walk");
    QCOMPARE(back.value("notebook_id").toString(), "nb-walk");
    QCOMPARE(back.value("deleted_at"), QJsonValue(QJsonValue::Null));
    QCOMPARE(push(m_ben.access, change("n-walk", 9, "ben was here")).value("status").toString(), "forbidden");
}

void tst_DevServer::pushConflictRules_data()
{
    QTest::addColumn<qint64>("baseVersion"); // -1: not sent
    QTest::addColumn<qint64>("version");
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint64>("answeredVersion");
    // The server holds version 3 in every row.
    QTest::newRow("no base, newer version") << -1LL << 4LL << "ok" << 4LL;
    QTest::newRow("no base, same version") << -1LL << 3LL << "conflict" << 3LL;
    QTest::newRow("no base, older version") << -1LL << 2LL << "conflict" << 3LL;
    QTest::newRow("base matches") << 3LL << 7LL << "ok" << 7LL;
    QTest::newRow("base matches, version not ahead") << 3LL << 3LL << "ok" << 4LL;
    QTest::newRow("stale base") << 2LL << 9LL << "conflict" << 3LL;
}

void tst_DevServer::pushConflictRules()
{
    QFETCH(qint64, baseVersion);
    QFETCH(qint64, version);
    QFETCH(QString, status);
    QFETCH(qint64, answeredVersion);
    const QString id =
        QStringLiteral("n-conflict-%1").arg(QTest::currentDataTag()).replace(QRegularExpression("[^A-Za-z0-9-]"), "-");
    QCOMPARE(push(m_ada.access, change(id, 3, "server text")).value("status").toString(), "ok");
    const QJsonObject result = push(m_ada.access, change(id, version, "device text", baseVersion));
    QCOMPARE(result.value("status").toString(), status);
    QCOMPARE(result.value("version").toInteger(), answeredVersion);
    const QJsonObject stored = findNote(pull(m_ada.access).value("changes").toArray(), id);
    QCOMPARE(stored.value("version").toInteger(), answeredVersion);
    QCOMPARE(stored.value("body").toString().contains("device text"), status == "ok");
    // An accepted push adds a version; the server's earlier text is still kept.
    const QJsonArray versions =
        call("GET", QStringLiteral("/admin/notes/%1/versions").arg(id)).json().value("versions").toArray();
    QCOMPARE(versions.size(), status == "ok" ? 2 : 1);
    QVERIFY(versions.first().toObject().value("body").toString().contains("server text"));
}

void tst_DevServer::attachmentRoundTrip()
{
    QCOMPARE(push(m_ada.access, change("n-files", 1, "with a file")).value("status").toString(), "ok");
    const QByteArray bytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'x');
    // The same multipart shape the app sends: note_id, id, then the file.
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    const auto textPart = [](const char* name, const QByteArray& value) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"%1\"").arg(name));
        part.setBody(value);
        return part;
    };
    multipart->append(textPart("note_id", "n-files"));
    multipart->append(textPart("id", "att-1"));
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentTypeHeader, "image/png");
    file.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"file\"; filename=\"../shot.png\"");
    file.setBody(bytes);
    multipart->append(file);
    QNetworkAccessManager nam;
    QNetworkRequest request(s().url("/notes/v1/attachments"));
    request.setRawHeader("Authorization", "Bearer " + m_ada.access.toUtf8());
    std::unique_ptr<QNetworkReply> reply(nam.post(request, multipart));
    multipart->setParent(reply.get());
    QSignalSpy done(reply.get(), &QNetworkReply::finished);
    QVERIFY(done.wait(20000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);

    const QJsonObject list = call("GET", "/notes/v1/attachments", {}, m_ada.access).json();
    const QJsonObject entry = list.value("attachments").toArray().last().toObject();
    QCOMPARE(entry.value("id").toString(), "att-1");
    QCOMPARE(entry.value("filename").toString(), ".._shot.png");
    QCOMPARE(entry.value("mime_type").toString(), "image/png");
    QCOMPARE(entry.value("size_bytes").toInteger(), bytes.size());
    QVERIFY(call("GET", "/notes/v1/attachments?since=" + QString::number(list.value("timestamp").toInteger()), {},
                 m_ada.access)
                .json()
                .value("attachments")
                .toArray()
                .isEmpty());
    QCOMPARE(call("GET", "/notes/v1/attachments/att-1", {}, m_ada.access).body, bytes);
    QCOMPARE(call("GET", "/notes/v1/attachments/att-1", {}, m_ben.access).status, 404);
}

void tst_DevServer::updateService()
{
    const auto manifest = call("GET", "/updates/notes/stable/latest.json");
    QCOMPARE(manifest.status, 200);
    const QJsonObject artifact = manifest.json().value("artifacts").toObject().value("windows-x64").toObject();
    QCOMPARE(manifest.json().value("schema").toInt(), 1);
    QCOMPARE(artifact.value("version").toString(), "1.2.0");
    QCOMPARE(artifact.value("sha256").toString().size(), 64);
    const QUrl notes(artifact.value("release_notes_url").toString());
    QCOMPARE(notes.port(), s().url().port());
    QVERIFY(call("GET", notes.path()).body.startsWith("## Norvane Notes 1.2.0"));
    QCOMPARE(call("GET", "/updates/notes/1.2.0/release-notes.de.md").status, 200);
    QCOMPARE(call("GET", "/updates/notes/1.1.1/release-notes.de.md").status, 404);
    // The installer link is https to a placeholder host; the stand-in file it describes is served here.
    QCOMPARE(QUrl(artifact.value("url").toString()).scheme(), "https");
    QCOMPARE(call("GET", "/updates/notes/1.2.0/NorvaneNotes-1.2.0.bin").body.size(), artifact.value("size").toInt());

    QVERIFY(s().publish("notes/stable/latest.json", R"({"schema": 2, "url": "{{server}}/x"})"));
    QCOMPARE(call("GET", "/updates/notes/stable/latest.json").json().value("url").toString(), s().url("/x").toString());
    QCOMPARE(call("DELETE", "/admin/updates/notes/stable/latest.json").status, 204);
    QCOMPARE(call("GET", "/updates/notes/stable/latest.json").status, 404);
}

void tst_DevServer::refusals_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("no token") << "" << QByteArray("GET") << "/notes/v1/sync/pull" << QByteArray() << 401;
    QTest::newRow("expired token") << "expired" << QByteArray("GET") << "/account/v1/profile" << QByteArray() << 401;
    QTest::newRow("forged signature") << "forged" << QByteArray("GET") << "/notes/v1/notebooks" << QByteArray() << 401;
    QTest::newRow("token of another realm's shape")
        << "garbage" << QByteArray("GET") << SignIn + "/users/me" << QByteArray() << 401;
    QTest::newRow("another user's note") << "cleo" << QByteArray("GET") << "/notes/v1/shares/notes/n-private"
                                         << QByteArray() << 404;
    QTest::newRow("another user's share")
        << "cleo" << QByteArray("DELETE") << "/notes/v1/shares/notes/n-shared/{share}" << QByteArray() << 404;
    QTest::newRow("recipient re-shares") << "ben" << QByteArray("POST") << "/notes/v1/shares/notes/n-shared"
                                         << QByteArray(R"({"auth_user_id": "1d000000-0000-4000-8000-00000000000a"})")
                                         << 403;
    QTest::newRow("share outside the group")
        << "ada" << QByteArray("POST") << "/notes/v1/shares/notes/n-private"
        << QByteArray(R"({"auth_user_id": "1d000000-0000-4000-8000-00000000000c"})") << 403;
    QTest::newRow("member removes a member")
        << "ben" << QByteArray("DELETE") << "/account/v1/group/members/" + AdaAccount << QByteArray() << 403;
    QTest::newRow("another user's session")
        << "cleo" << QByteArray("DELETE") << SignIn + "/users/me/sessions/{adaSession}" << QByteArray() << 404;
}

void tst_DevServer::refusals()
{
    QFETCH(QString, who);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QString token;
    if (who == "ada")
        token = m_ada.access;
    else if (who == "ben")
        token = m_ben.access;
    else if (who == "cleo")
        token = m_cleo.access;
    else if (who == "expired")
        token = s().signIn(DevServer::Ada, -10).access;
    else if (who == "forged")
        token = m_ada.access.chopped(3) + "AAA";
    else if (who == "garbage")
        token = "not-a-token";
    const QJsonArray sessions =
        call("GET", SignIn + "/users/me/sessions", {}, m_ada.access).json().value("sessions").toArray();
    path.replace("{share}", m_benShareId).replace("{adaSession}", sessions.first().toObject().value("id").toString());
    const auto reply = call(method, path, body, token);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.json().value("error").toString().isEmpty());
}

void tst_DevServer::faultSwitches_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("jsonBody");
    QTest::newRow("status") << QJsonObject{{"action", "status"}, {"status", 503}} << QByteArray() << 503 << 503 << true;
    QTest::newRow("status once") << QJsonObject{{"action", "status"}, {"status", 500}, {"times", 1}} << QByteArray()
                                 << 500 << 200 << true;
    QTest::newRow("drop") << QJsonObject{{"action", "drop"}} << QByteArray() << 0 << 0 << false;
    QTest::newRow("hang") << QJsonObject{{"action", "hang"}, {"times", 1}} << QByteArray() << 0 << 200 << false;
    QTest::newRow("delay") << QJsonObject{{"action", "delay"}, {"delay_ms", 300}} << QByteArray() << 200 << 200 << true;
    QTest::newRow("malformed") << QJsonObject{{"action", "malformed"}} << QByteArray() << 200 << 200 << false;
    QTest::newRow("max body") << QJsonObject{{"action", "max_body"}, {"max_body", 10}} << QByteArray(11, 'x') << 413
                              << 413 << true;
    QTest::newRow("other method untouched")
        << QJsonObject{{"action", "status"}, {"method", "PUT"}} << QByteArray() << 200 << 200 << true;
}

void tst_DevServer::faultSwitches()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QByteArray, body);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, jsonBody);
    fault.insert("pattern", "/notes/v1/note*");
    QVERIFY(s().addFault(fault));
    const QByteArray method = body.isEmpty() ? "GET" : "POST";
    QElapsedTimer clock;
    clock.start();
    // Only a hung request should meet the short time-out; a busy machine may be slow with the others.
    const int timeout = fault.value("action") == "hang" ? 1500 : 20000;
    const auto a = call(method, "/notes/v1/notebooks", body, m_ada.access, "application/json", {}, timeout);
    if (fault.value("action") == "delay")
        QVERIFY(clock.elapsed() >= 250);
    const auto b = call(method, "/notes/v1/notebooks", body, m_ada.access);
    QVERIFY(s().clearFaults());
    QCOMPARE(a.status, first);
    QCOMPARE(b.status, second);
    QJsonParseError error{};
    QJsonDocument::fromJson(a.body, &error);
    QCOMPARE(error.error == QJsonParseError::NoError, jsonBody);
    QCOMPARE(call("GET", "/notes/v1/notebooks", {}, m_ada.access).status, 200);
    // The log keeps the request but not the token.
    const QJsonObject logged = s().requests("/notes/v1/notebooks").last().toObject();
    QCOMPARE(logged.value("headers").toObject().value("authorization").toString(), "Bearer <redacted>");
}

void tst_DevServer::hostileInput_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("status");
    const QByteArray json = "application/json";
    QTest::newRow("unknown route") << QByteArray("GET") << "/notes/v2/whatever" << QByteArray() << json << 404;
    QTest::newRow("malformed JSON") << QByteArray("POST") << "/notes/v1/sync/push" << QByteArray("{\"changes\": [")
                                    << json << 400;
    QTest::newRow("changes not a list") << QByteArray("POST") << "/notes/v1/sync/push"
                                        << QByteArray(R"({"changes": 5})") << json << 400;
    QTest::newRow("array as profile") << QByteArray("PATCH") << SignIn + "/users/me" << QByteArray("[1]") << json
                                      << 400;
    QTest::newRow("number as name") << QByteArray("PUT") << "/notes/v1/notebooks/nb-walk"
                                    << QByteArray(R"({"name": 5, "version": 1})") << json << 400;
    QTest::newRow("cursor not a number") << QByteArray("GET") << "/notes/v1/sync/pull?since=abc" << QByteArray() << json
                                         << 400;
    QTest::newRow("multipart without boundary") << QByteArray("POST") << "/notes/v1/attachments"
                                                << QByteArray("--x\r\n") << QByteArray("multipart/form-data") << 400;
    QTest::newRow("multipart cut short")
        << QByteArray("POST") << "/notes/v1/attachments"
        << QByteArray("--b\r\nContent-Disposition: form-data; name=\"note_id\"\r\n\r\nn-files\r\n--b\r\nContent-Dis")
        << QByteArray("multipart/form-data; boundary=b") << 400;
    QTest::newRow("traversal in update path")
        << QByteArray("GET") << "/updates/..%2F..%2Fdevserver.sqlite" << QByteArray() << json << 404;
    QTest::newRow("traversal in attachment id")
        << QByteArray("GET") << "/notes/v1/attachments/..%2Fdevserver.sqlite" << QByteArray() << json << 404;
    QTest::newRow("traversal in published file")
        << QByteArray("PUT") << "/admin/updates/notes/..%2F..%2F..%2Fescape.json" << QByteArray("{}") << json << 400;
}

void tst_DevServer::hostileInput()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(int, status);
    const auto reply = call(method, path, body, m_ada.access, contentType);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.json().value("error").toString().isEmpty());
    QVERIFY(!QFile::exists(s().dataDir() + "/../escape.json"));
    QCOMPARE(call("GET", "/updates/notes/beta/latest.json").status, 200);
}

void tst_DevServer::oversizedBodyIsRefusedBeforeReading()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, s().url().port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("POST /notes/v1/sync/push HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
                 "Content-Length: 5000000000\r\n\r\n{\"changes\":");
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    QVERIFY(answer.startsWith("HTTP/1.1 413"));
    QCOMPARE(call("GET", "/updates/notes/beta/latest.json").status, 200);
}

QTEST_GUILESS_MAIN(tst_DevServer)
#include "tst_DevServer.moc"
