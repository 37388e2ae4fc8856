#pragma once

#include <QApplication>
#include <QLatin1StringView>
#include <QString>

class AppState;
class MainWindow;
class QTimer;
class SingleInstance;
struct CommandLineOptions;

// The process: guards the single instance, opens the application state, builds the main window and
// runs the event loop.
class Application : public QApplication
{
    Q_OBJECT
public:
    static constexpr QLatin1StringView kOrganizationName{"Norvane"};
    static constexpr QLatin1StringView kOrganizationDomain{"norvane.app"};
    static constexpr QLatin1StringView kApplicationName{"Notes"};
    static constexpr QLatin1StringView kVersion{"1.1.1"};
    // Shown by What's New and the update dialog.
    static constexpr QLatin1StringView kDisplayName{"Norvane Notes"};
    static constexpr QLatin1StringView kInstanceKey{"norvane-notes-instance"};
    static constexpr int kUpdateCheckDelayMs = 1500;

    Application(int& argc, char** argv);
    ~Application() override;

    // The start-up sequence on the process's own command line; the result is the exit code.
    int run();
    // The same on a given command line (the first element is the program).
    int run(const QStringList& args);

    AppState* state() const { return m_state; }
    MainWindow* mainWindow() const { return m_mainWindow; }
    SingleInstance* singleInstance() const { return m_singleInstance; }

    // The local socket name. NORV_INSTANCE_KEY, when set and not empty, replaces the built-in key so
    // that test runs and development builds never talk to the instance a user is running.
    static QString instanceKey();

    // Acts on a message from a second start: "new-note", "note:<id>", anything else brings the
    // main window forward.
    void handleMessage(const QString& message);

private:
    void registerFonts();
    void tearDown();
    bool initializeState();
    void openRequestedNote(const CommandLineOptions& options);
    void createMainWindow();
    void restoreNoteWindows();
    void restoreTodosWindow();
    void showWhatsNewOnce();
    void scheduleUpdateCheck();
    void checkForUpdates();

    AppState* m_state = nullptr;
    MainWindow* m_mainWindow = nullptr;
    SingleInstance* m_singleInstance = nullptr;
    QTimer* m_updateTimer = nullptr;
};
