// Drives the application's own main window through one sign-in step, for the real-browser check in
// sign-in-real-browser.sh. It builds the state and the window as the program does, presses the
// buttons a user would press, and prints the account's state at the end.
//   sign_in_driver sign-in   press "Sign In" on the welcome page and wait for the browser to come back
//   sign_in_driver restore   report whether the session came back from the token store at start
//   sign_in_driver sign-out  restore, press "Sign Out" and wait until the store has let go
// Exit code 0 when the step ended as expected (signed in, or signed out for sign-out).
#include "AppState.h"
#include "AuthClient.h"
#include "MainWindow.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"
#include "WelcomeScreen.h"
#ifdef NORV_HAVE_KEYCHAIN
#include "KeychainTokenStore.h"
#endif

#include <QApplication>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

using NorvAccount::AuthState;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setApplicationName(QStringLiteral("Notes"));
    QApplication::setApplicationVersion(QStringLiteral(NORV_VERSION));
    const QString step = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("sign-in");
    QTextStream out(stdout);

    AppState state;
    if (!state.initialize()) {
        out << "driver: the database did not open" << Qt::endl;
        return 2;
    }
    MainWindow window(&state);
    window.show();
    NorvAccount::Client* account = state.account();

    auto finish = [&](int code) {
        out << "driver: " << step << " ended " << (account->isAuthenticated() ? "signed in" : "signed out")
            << (account->tokensPersist() ? "" : " (tokens kept for this run only)") << Qt::endl;
        QTimer::singleShot(0, &app, [code] { QCoreApplication::exit(code); });
    };
    auto whenStoreSettled = [&](std::function<void()> then) {
#ifdef NORV_HAVE_KEYCHAIN
        if (auto* store = dynamic_cast<NorvAccount::KeychainTokenStore*>(account->tokenManager()->store())) {
            if (!store->isIdle()) {
                QObject::connect(store, &NorvAccount::KeychainTokenStore::idle, &app, then, Qt::SingleShotConnection);
                return;
            }
        }
#endif
        then();
    };

    QObject::connect(account->auth(), &NorvAccount::AuthClient::loginFailed, &app, [&](const QString& error) {
        out << "driver: sign-in failed: " << error << Qt::endl;
        finish(1);
    });
    QObject::connect(account->auth(), &NorvAccount::AuthClient::loginSucceeded, &app,
                     [&] { whenStoreSettled([&] { finish(0); }); });

    auto onKnown = [&] {
        if (step == QLatin1String("restore")) {
            finish(account->isAuthenticated() ? 0 : 1);
        } else if (step == QLatin1String("sign-out")) {
            if (!account->isAuthenticated()) {
                finish(1);
                return;
            }
            window.welcomePage()->findChild<QPushButton*>(QStringLiteral("accountButton"))->click();
            whenStoreSettled([&] { finish(account->isAuthenticated() ? 1 : 0); });
        } else if (account->isAuthenticated()) {
            out << "driver: already signed in before the browser was asked" << Qt::endl;
            finish(4);
        } else {
            window.welcomePage()->findChild<QPushButton*>(QStringLiteral("accountButton"))->click();
            out << "driver: waiting for the browser" << Qt::endl;
        }
    };
    if (account->state() != AuthState::Unknown) {
        QTimer::singleShot(0, &app, onKnown);
    } else {
        QObject::connect(account, &NorvAccount::Client::authStateChanged, &app, onKnown, Qt::SingleShotConnection);
    }
    QTimer::singleShot(90000, &app, [&] {
        out << "driver: gave up after 90 s" << Qt::endl;
        finish(3);
    });
    return app.exec();
}
