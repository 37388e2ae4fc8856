#include "CredentialManagerTokenStore.h"

#include "AccountLog.h"

#ifdef Q_OS_WIN
#include <wincred.h>
#include <windows.h>
#endif

namespace NorvAccount {

CredentialManagerTokenStore::CredentialManagerTokenStore(const QString& service)
    : m_service(service)
{}

QString CredentialManagerTokenStore::targetName(const QString& service, const QString& key)
{
    return QStringLiteral("Norvane/%1/%2").arg(service, key);
}

QByteArray CredentialManagerTokenStore::encodeBlob(const QString& value)
{
    return value.toUtf8();
}

QString CredentialManagerTokenStore::decodeBlob(const QByteArray& blob)
{
    return QString::fromUtf8(blob);
}

#ifdef Q_OS_WIN

std::optional<QString> CredentialManagerTokenStore::load(const QString& key)
{
    const std::wstring target = targetName(m_service, key).toStdWString();
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return std::nullopt;
    const QByteArray blob(reinterpret_cast<const char*>(credential->CredentialBlob),
                          static_cast<qsizetype>(credential->CredentialBlobSize));
    CredFree(credential);
    return decodeBlob(blob);
}

bool CredentialManagerTokenStore::save(const QString& key, const QString& value)
{
    std::wstring target = targetName(m_service, key).toStdWString();
    QByteArray blob = encodeBlob(value);
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    if (CredWriteW(&credential, 0))
        return true;
    qCWarning(lcAccount) << "Credential Manager: could not store" << key << "error" << GetLastError();
    return false;
}

bool CredentialManagerTokenStore::remove(const QString& key)
{
    const std::wstring target = targetName(m_service, key).toStdWString();
    return CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0);
}

#else

// Elsewhere the type exists for its naming rules only and holds nothing.
std::optional<QString> CredentialManagerTokenStore::load(const QString&)
{
    return std::nullopt;
}

bool CredentialManagerTokenStore::save(const QString&, const QString&)
{
    return false;
}

bool CredentialManagerTokenStore::remove(const QString&)
{
    return false;
}

#endif

} // namespace NorvAccount
