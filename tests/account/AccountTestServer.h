#pragma once

#include "../DevServer.h"

#include <memory>
#include <utility>

// The reference server as the account tests use it: started once per test program, with short
// helpers for tokens, fault switches and the request log.
struct AccountTestServer
{
    std::unique_ptr<DevServer> server;

    bool start(const QStringList& extraArgs = {})
    {
        server = std::make_unique<DevServer>(extraArgs);
        return server->isRunning();
    }
    QString error() const { return server ? server->errorString() : QString(); }
    QString base() const { return server->url().toString(); }

    // A fresh session for a seeded user; a negative time to live gives an expired access token.
    std::pair<QString, QString> tokens(const QString& email = QStringLiteral("ada@example.com"), int accessTtl = 900)
    {
        const DevServer::Tokens t = DevServer::signIn(base(), email, accessTtl);
        return {t.access, t.refresh};
    }

    void fault(const QJsonObject& fault) { server->addFault(fault); }
    void clearFaults() { server->clearFaults(); }
    void clearRequests() { server->clearRequests(); }
    QJsonArray requests(const QString& pathPrefix) { return server->requests(pathPrefix); }
    int count(const QString& pathPrefix) { return int(requests(pathPrefix).size()); }
};

// Skips the whole test program with the server's reason when it cannot run here.
#define ACCOUNT_REQUIRE_SERVER(fixture, ...)                                                                           \
    do {                                                                                                               \
        if (!(fixture).start(__VA_ARGS__))                                                                             \
            QSKIP(qPrintable(QStringLiteral("devserver unavailable: ") + (fixture).error()));                          \
    } while (false)
