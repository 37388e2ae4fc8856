#include "Application.h"

#include "AppLog.h"
#include "AppState.h"
#include "CommandLine.h"
#include "DataPaths.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteActions.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "SingleInstance.h"
#include "Translations.h"
#include "UpdateFlows.h"
#include "Version.h"

#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// Registration order matters: the first font's family becomes the application font.
constexpr const char* kFontResources[] = {
    ":/fonts/IBMPlexSans.ttf",
    ":/fonts/IBMPlexSans-Italic.ttf",
    ":/fonts/IBMPlexMono-Medium.ttf",
    ":/fonts/MaterialIcons-Regular.otf",
};

constexpr const char* kWindowIcon = ":/icons/app-icon.png";

} // namespace

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setOrganizationName(kOrganizationName);
    setOrganizationDomain(kOrganizationDomain);
    setApplicationName(kApplicationName);
    setApplicationVersion(kVersion);
    registerFonts();
    setWindowIcon(QIcon(QString::fromLatin1(kWindowIcon)));
}

Application::~Application()
{
    tearDown();
}

void Application::registerFonts()
{
    // The resources live in a static library; make sure its registration is not dropped by the linker.
    Q_INIT_RESOURCE(norv_resources);

    QString uiFamily;
    for (const char* resource : kFontResources) {
        const QString path = QString::fromLatin1(resource);
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            qCWarning(lcApp).noquote() << "Could not register font:" << path;
            continue;
        }
        if (uiFamily.isEmpty())
            uiFamily = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    // The theme takes its base font from the application font, so setting the family here is what
    // makes every widget use it.
    if (!uiFamily.isEmpty()) {
        QFont f = font();
        f.setFamily(uiFamily);
        setFont(f);
    }
}

QString Application::instanceKey()
{
    const QString overridden = qEnvironmentVariable("NORV_INSTANCE_KEY");
    return overridden.isEmpty() ? QString(kInstanceKey) : overridden;
}

void Application::tearDown()
{
    // The main window uses the state, so it goes first.
    delete m_mainWindow;
    m_mainWindow = nullptr;
    delete m_updateTimer;
    m_updateTimer = nullptr;
    delete m_state;
    m_state = nullptr;
    delete m_singleInstance;
    m_singleInstance = nullptr;
}

int Application::run()
{
    return run(arguments());
}

int Application::run(const QStringList& args)
{
    // run() normally happens once per process; starting from scratch keeps a repeated run honest.
    tearDown();

    m_singleInstance = new SingleInstance(instanceKey(), this);
    if (!m_singleInstance->tryRun(secondStartMessage(args)))
        return 0;

    // Before anything the user can read, the database error included.
    Translations::install();

    if (!initializeState()) {
        Interaction::critical(nullptr, tr("Database Error"),
                              tr("Failed to initialize the database.\n\nData directory: %1\n\n"
                                 "Please check file permissions and try again.")
                                  .arg(dataDirectory()));
        return 1;
    }

    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::handleMessage);

    const CommandLineOptions options = parseCommandLine(args);
    openRequestedNote(options);

    createMainWindow();
    // Without a system tray a window started hidden could never be reached again.
    const bool startMinimized =
        m_state->preferences()->boolValue(PrefKey::StartMinimized, PrefKey::StartMinimizedDefault) &&
        QSystemTrayIcon::isSystemTrayAvailable();
    // A note asked for on the command line opens alone; the main window waits in the background.
    if (!options.newNote && !options.hasNoteId && !startMinimized)
        m_mainWindow->show();

    // Text that could not be saved last time is offered back before anything else opens.
    NoteActions::offerRecoveredText(m_mainWindow, m_state);
    restoreNoteWindows();
    restoreTodosWindow();
    showWhatsNewOnce();
    scheduleUpdateCheck();

    return exec();
}

bool Application::initializeState()
{
    m_state = new AppState(this);
    if (!m_state->initialize())
        return false;
    NoteWindow::install(m_state);
    return true;
}

void Application::openRequestedNote(const CommandLineOptions& options)
{
    if (options.newNote)
        m_state->createNoteInWindow();
    else if (options.hasNoteId)
        m_state->openNoteWindow(options.noteId);
}

void Application::createMainWindow()
{
    m_mainWindow = new MainWindow(m_state);
}

void Application::restoreNoteWindows()
{
    PreferencesRepository* prefs = m_state->preferences();
    const QString stored = prefs->stringValue(PrefKey::RestoreNoteWindows, QString());
    if (stored.isEmpty())
        return;
    // Notes deleted or trashed since (by a sync, say) would only come back as empty windows.
    for (const QString& noteId : parseRestoreIds(stored)) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        if (note && !note->isTrashed())
            m_state->openNoteWindow(noteId);
    }
    // Restored once only: the next quit writes the list afresh.
    prefs->remove(PrefKey::RestoreNoteWindows);
}

void Application::restoreTodosWindow()
{
    PreferencesRepository* prefs = m_state->preferences();
    if (!prefs->boolValue(PrefKey::RestoreTodosWindow, PrefKey::RestoreTodosWindowDefault))
        return;
    if (m_mainWindow)
        m_mainWindow->showTodosScreen();
    prefs->remove(PrefKey::RestoreTodosWindow);
}

void Application::showWhatsNewOnce()
{
    PreferencesRepository* prefs = m_state->preferences();
    if (compareVersions(prefs->stringValue(PrefKey::LastWhatsNewVersion, QString()), kVersion) < 0)
        prefs->setValue(PrefKey::LastWhatsNewVersion, kVersion);
    // Remembered only once the dialog is really on screen: missing notes or a failed download leave it due
    // for the next start.
    if (compareVersions(prefs->stringValue(PrefKey::WhatsNewShownVersion, QString()), kVersion) >= 0)
        return;
    QPointer<PreferencesRepository> guardedPrefs(prefs);
    NorvUpdate::showWhatsNewAtStartup(NorvUpdate::notesConfig(kVersion), kDisplayName, m_mainWindow, [guardedPrefs] {
        if (guardedPrefs)
            guardedPrefs->setValue(PrefKey::WhatsNewShownVersion, kVersion);
    });
}

void Application::scheduleUpdateCheck()
{
    // Give the event loop time to show the windows before any network traffic starts.
    m_updateTimer = new QTimer(this);
    m_updateTimer->setSingleShot(true);
    m_updateTimer->setInterval(kUpdateCheckDelayMs);
    connect(m_updateTimer, &QTimer::timeout, this, &Application::checkForUpdates);
    m_updateTimer->start();
}

void Application::checkForUpdates()
{
    NorvUpdate::checkAtStartup(NorvUpdate::notesConfig(kVersion), kDisplayName, m_mainWindow);
}

void Application::handleMessage(const QString& message)
{
    if (message == QLatin1StringView("new-note")) {
        m_state->createNoteInWindow();
        return;
    }
    if (message.startsWith(QLatin1StringView("note:"))) {
        m_state->openNoteWindow(message.mid(5));
        return;
    }
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
}
