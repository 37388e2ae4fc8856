#include "Application.h"
#include "CommandLine.h"

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // Answered without a display or a running instance, so packaging checks and scripts can ask.
    const QString answer = immediateAnswer(args, QString(Application::kVersion));
    if (!answer.isEmpty()) {
        std::fputs(answer.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (verboseRequested(args) && qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "norv*.debug=true");

    Application app(argc, argv);
    return app.run();
}
