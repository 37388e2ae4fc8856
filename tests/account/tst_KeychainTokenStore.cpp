#include "KeychainTokenStore.h"
#include "TokenManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace NorvAccount;

// Runs the QtKeychain store against a real Secret Service: a private D-Bus session of its own with
// a gnome-keyring-daemon whose keyrings live in a temporary home. The user's own keyring is never
// reached. Without dbus-daemon or gnome-keyring-daemon the test skips and says why.
class tst_KeychainTokenStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutThenWithSecretService();

private:
    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_service = QStringLiteral("test.norvane.keychain.%1").arg(QCoreApplication::applicationPid());
};

void tst_KeychainTokenStore::initTestCase()
{
    const QString busDaemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (busDaemon.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty()) {
        // CI's set-up installs both, so there a missing daemon is a broken set-up, not a reason to skip.
        if (!qEnvironmentVariableIsEmpty("CI"))
            QFAIL("CI needs dbus-daemon and gnome-keyring-daemon (scripts/setup.sh installs dbus and gnome-keyring)");
        QSKIP("needs dbus-daemon and gnome-keyring-daemon (Debian packages dbus and gnome-keyring)");
    }
    QVERIFY(m_home.isValid());

    // No service directories: nothing is started on demand, so the test decides when a Secret
    // Service exists.
    const QString config = m_home.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                   .arg(m_home.path())
                   .toUtf8());
    file.close();
    m_bus.start(busDaemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000))
        QSKIP("could not start a private D-Bus session");
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void tst_KeychainTokenStore::cleanupTestCase()
{
    // Both keep their state in the temporary home, so nothing is lost by not waiting for a clean exit.
    for (QProcess* process : {&m_keyring, &m_bus}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

// Until a Secret Service runs, tokens last the session; once one runs, they outlive the store and sign-out
// removes them.
void tst_KeychainTokenStore::withoutThenWithSecretService()
{
    {
        KeychainTokenStore store(m_service);
        int unavailable = 0;
        store.setUnavailableHandler([&unavailable] { ++unavailable; });
        bool ready = false;
        store.prepare([&ready] { ready = true; });
        QTRY_VERIFY_WITH_TIMEOUT(ready, 15000);
        QVERIFY(!store.isPersistent());
        QCOMPARE(unavailable, 1);
        // Still usable for this run, and it says so only once.
        QVERIFY(store.save(QStringLiteral("norvane_access_token"), QStringLiteral("a1")));
        QCOMPARE(store.load(QStringLiteral("norvane_access_token")), std::optional<QString>(QStringLiteral("a1")));
        QVERIFY(store.isIdle());
        QCOMPARE(unavailable, 1);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
    m_keyring.setProcessEnvironment(env);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                                             QStringLiteral("--components=secrets")});
    // --unlock reads the login keyring's password from standard input and creates that keyring.
    m_keyring.write("norvane-test");
    m_keyring.closeWriteChannel();
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const auto registered = [bus] {
        return bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
    };
    if (!QTest::qWaitFor([&] { return registered() || m_keyring.state() == QProcess::NotRunning; }, 10000) ||
        !registered())
        QSKIP("gnome-keyring-daemon did not come up on the private bus");

    auto openManager = [this] {
        auto manager = std::make_unique<TokenManager>(std::make_unique<KeychainTokenStore>(m_service));
        bool loaded = false;
        manager->loadTokens([&loaded] { loaded = true; });
        if (!QTest::qWaitFor([&loaded] { return loaded; }, 15000))
            return std::unique_ptr<TokenManager>();
        return manager;
    };
    auto settle = [](TokenManager* manager) {
        auto* store = static_cast<KeychainTokenStore*>(manager->store());
        return QTest::qWaitFor([store] { return store->isIdle(); }, 15000);
    };

    // Saved, reopened as after a restart, cleared, reopened: the keyring holds exactly what it was told.
    QString expected;
    for (int run = 0; run < 3; ++run) {
        auto manager = openManager();
        QVERIFY(manager && manager->store()->isPersistent());
        QCOMPARE(manager->refreshToken(), expected);
        QCOMPARE(manager->store()->load(QStringLiteral("norvane_access_token")),
                 expected.isEmpty() ? std::nullopt : std::optional<QString>(QStringLiteral("a.b.c")));
        if (run == 0)
            manager->setTokens(QStringLiteral("a.b.c"), QStringLiteral("refresh-1"));
        else if (run == 1)
            manager->clear();
        QVERIFY(settle(manager.get()));
        expected = run == 0 ? QStringLiteral("refresh-1") : QString();
    }
}

QTEST_GUILESS_MAIN(tst_KeychainTokenStore)
#include "tst_KeychainTokenStore.moc"
