#pragma once

#include "../DevServer.h"
#include "AccountPrompts.h"
#include "ApiClient.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QTest>
#include <memory>

// The application's account facade signed in to the reference server as one seeded user, with its
// tokens in memory, as a browser sign-in would leave it.
inline std::unique_ptr<NorvAccount::Client> signedInClient(DevServer& server, const DevServer::User& user)
{
    NorvAccount::ClientConfig config;
    config.authBaseUrl = server.authBaseUrl().toString();
    config.accountApiUrl = server.accountApiUrl().toString();
    config.clientId = QStringLiteral("tests");
    config.appId = QStringLiteral("app.norvane.Notes.tests");
    config.appVersion = QStringLiteral("1.1.1");
    config.portalUrl = server.url(QStringLiteral("/portal")).toString();
    auto client = std::make_unique<NorvAccount::Client>(config, std::make_unique<NorvAccount::MemoryTokenStore>());
    client->notesApi()->setBaseUrl(server.syncApiUrl());
    const DevServer::Tokens tokens = server.signIn(user);
    client->tokenManager()->setTokens(tokens.access, tokens.refresh);
    client->initialize();
    return client;
}

// Answers the account screen's and the share dialog's questions in order, and records what was asked.
struct ScriptedPrompts
{
    QStringList texts; // answers to text inputs; "\x1b" cancels
    QList<bool> questions;
    QStringList asked;
    QStringList informed;

    ScriptedPrompts()
    {
        NorvAccount::Prompts p;
        p.getText = [this](QWidget*, const QString& title, const QString& label, const QString&, QLineEdit::EchoMode,
                           bool* ok) {
            asked << title + QLatin1Char('|') + label;
            const QString answer = texts.isEmpty() ? QStringLiteral("\x1b") : texts.takeFirst();
            *ok = answer != QLatin1String("\x1b");
            return *ok ? answer : QString();
        };
        p.question = [this](QWidget*, const QString& title, const QString& text) {
            asked << title + QLatin1Char('|') + text;
            return !questions.isEmpty() && questions.takeFirst();
        };
        p.information = [this](QWidget*, const QString& title, const QString& text) {
            informed << title + QLatin1Char('|') + text;
        };
        NorvAccount::setPrompts(p);
    }
    ~ScriptedPrompts() { NorvAccount::setPrompts({}); }
};
