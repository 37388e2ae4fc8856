#pragma once

#include "TokenStore.h"

#include <QByteArray>

namespace NorvAccount {

// Each token is one generic credential of the Windows Credential Manager, kept on this machine
// across log-off and reboot. The naming and the stored form are plain code so they can be checked
// on any platform; only the vault calls themselves exist on Windows alone.
class CredentialManagerTokenStore : public TokenStore
{
public:
    explicit CredentialManagerTokenStore(const QString& service);

    // "Norvane/<service>/<key>".
    static QString targetName(const QString& service, const QString& key);
    // The token's UTF-8 bytes without a terminator; the blob size is their length.
    static QByteArray encodeBlob(const QString& value);
    static QString decodeBlob(const QByteArray& blob);

    std::optional<QString> load(const QString& key) override;
    bool save(const QString& key, const QString& value) override;
    bool remove(const QString& key) override;

    QString service() const { return m_service; }

private:
    QString m_service;
};

} // namespace NorvAccount
