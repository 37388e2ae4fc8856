// The update service: static files under <data>/updates, published as /updates/<product>/<channel>/latest.json
// and /updates/<product>/<version>/release-notes[.<lang>].md.
#include "ServiceHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A path below the updates folder, or nothing when a segment could climb out of it.
std::optional<QString> safeRelativePath(const QStringList& segments)
{
    static const QRegularExpression segment(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]{0,99}$"));
    if (segments.isEmpty() || segments.size() > 8)
        return std::nullopt;
    for (const QString& s : segments) {
        if (!segment.match(s).hasMatch())
            return std::nullopt;
    }
    return segments.join(QLatin1Char('/'));
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

QByteArray contentTypeFor(const QString& path)
{
    if (path.endsWith(QLatin1String(".json")))
        return "application/json";
    if (path.endsWith(QLatin1String(".md")))
        return "text/markdown; charset=utf-8";
    return "application/octet-stream";
}

QByteArray manifest(const QString& channel, const QString& version, const QByteArray& installer)
{
    const QByteArray sha = QCryptographicHash::hash(installer, QCryptographicHash::Sha256).toHex();
    const QString artifact = QStringLiteral(R"({
      "version": "%1",
      "released_at": "2026-11-20T09:00:00.000Z",
      "url": "https://downloads.norvane.invalid/notes/%1/NorvaneNotes-%1.bin",
      "size": %2,
      "sha256": "%3",
      "mandatory": false,
      "min_upgradable_from": "1.0.0",
      "release_notes_url": "{{server}}/updates/notes/%1/release-notes.md"
    })")
                                 .arg(version)
                                 .arg(installer.size())
                                 .arg(QString::fromLatin1(sha));
    return QStringLiteral("{\n  \"schema\": 1,\n  \"app\": \"notes\",\n  \"channel\": \"%1\",\n  \"artifacts\": {\n"
                          "    \"windows-x64\": %2,\n    \"linux-x64\": %2\n  }\n}\n")
        .arg(channel, artifact)
        .toUtf8();
}

} // namespace

void ServiceHost::seedUpdates()
{
    if (QFileInfo::exists(updatesDir()))
        return;
    const QString notes = updatesDir() + QStringLiteral("/notes");
    const QByteArray stable = "Norvane Notes 1.2.0 (development server stand-in, not an installer)\n";
    const QByteArray beta = "Norvane Notes 1.3.0 (development server stand-in, not an installer)\n";
    writeFile(notes + QStringLiteral("/stable/latest.json"), manifest(QStringLiteral("stable"), "1.2.0", stable));
    writeFile(notes + QStringLiteral("/beta/latest.json"), manifest(QStringLiteral("beta"), "1.3.0", beta));
    writeFile(notes + QStringLiteral("/1.2.0/NorvaneNotes-1.2.0.bin"), stable);
    writeFile(notes + QStringLiteral("/1.3.0/NorvaneNotes-1.3.0.bin"), beta);
    writeFile(notes + QStringLiteral("/1.1.1/release-notes.md"),
              "## Norvane Notes 1.1.1\n\n- Sync keeps going after a lost connection.\n- Faster search in large "
              "libraries.\n");
    writeFile(notes + QStringLiteral("/1.2.0/release-notes.md"),
              "## Norvane Notes 1.2.0\n\n- Share notebooks with your group.\n- A new to-do screen.\n");
    writeFile(notes + QStringLiteral("/1.2.0/release-notes.de.md"),
              "## Norvane Notes 1.2.0\n\n- Notizbücher mit der Gruppe teilen.\n- Eine neue Aufgabenansicht.\n");
    writeFile(notes + QStringLiteral("/1.3.0/release-notes.md"), "## Norvane Notes 1.3.0\n\n- Beta build.\n");
}

void ServiceHost::registerUpdateRoutes()
{
    m_http->route("GET", QStringLiteral("/updates/**"), [this](const Request&, const Params& params) {
        const auto relative = safeRelativePath(params);
        if (!relative)
            return Response::error(404, QStringLiteral("no such file"));
        QFile file(updatesDir() + QLatin1Char('/') + *relative);
        if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly))
            return Response::error(404, QStringLiteral("no such file"));
        QByteArray data = file.readAll();
        // Published files name this server with a placeholder, since its port changes from run to run.
        if (relative->endsWith(QLatin1String(".json")) || relative->endsWith(QLatin1String(".md")))
            data.replace("{{server}}", rootUrl().toUtf8());
        return Response::raw(200, contentTypeFor(*relative), data);
    });

    m_http->route("PUT", QStringLiteral("/admin/updates/**"), [this](const Request& request, const Params& params) {
        const auto relative = safeRelativePath(params);
        if (!relative)
            return Response::error(400, QStringLiteral("bad file path"));
        if (request.body.size() > 4 * 1024 * 1024)
            return Response::error(413, QStringLiteral("published files are limited to 4 MiB"));
        if (!writeFile(updatesDir() + QLatin1Char('/') + *relative, request.body))
            return Response::error(500, QStringLiteral("cannot write the file"));
        return Response::noContent();
    });

    m_http->route("DELETE", QStringLiteral("/admin/updates/**"), [this](const Request&, const Params& params) {
        const auto relative = safeRelativePath(params);
        if (!relative || !QFile::remove(updatesDir() + QLatin1Char('/') + *relative))
            return Response::error(404, QStringLiteral("no such file"));
        return Response::noContent();
    });
}
