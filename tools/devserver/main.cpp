// norvane-devserver: the sign-in, account, notes and update services on one loopback port, for the app,
// the tests and developers.
#include "ServiceHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvane-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Loopback stand-in for the Norvane remote services."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0 picks a free one)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Directory that keeps the server's state."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption autoLogin(QStringLiteral("auto-login"),
                                       QStringLiteral("The login page signs this user in at once, without a form."),
                                       QStringLiteral("EMAIL"));
    const QCommandLineOption accessTtl(QStringLiteral("access-ttl"),
                                       QStringLiteral("Lifetime of access tokens in seconds (default 900)."),
                                       QStringLiteral("SECONDS"), QStringLiteral("900"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print every request on stderr."));
    parser.addOptions({port, data, autoLogin, accessTtl, verbose});
    parser.process(app);

    QTextStream err(stderr);
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    bool ttlOk = false;
    const int ttl = parser.value(accessTtl).toInt(&ttlOk);
    if (!parser.isSet(data) || !portOk || portNumber > 65535 || !ttlOk || ttl < 1) {
        err << "usage: norvane-devserver --port N --data DIR [--auto-login EMAIL] [--access-ttl SECONDS]" << Qt::endl;
        return 2;
    }

    ServerOptions options;
    options.dataDir = parser.value(data);
    options.port = quint16(portNumber);
    options.autoLoginEmail = parser.value(autoLogin);
    options.accessTtlSeconds = ttl;
    options.verbose = parser.isSet(verbose);

    ServiceHost server(options);
    QString error;
    const quint16 listening = server.start(&error);
    if (listening == 0) {
        err << "norvane-devserver: " << error << Qt::endl;
        return 1;
    }
    QTextStream(stdout) << "listening on http://127.0.0.1:" << listening << Qt::endl;
    return app.exec();
}
