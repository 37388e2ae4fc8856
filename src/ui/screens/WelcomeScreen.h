#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The right pane while nobody is signed in and no note is open: what the application is, a way to
// start writing at once, and the way into an account.
class WelcomeScreen : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeScreen(QWidget* parent = nullptr);

    // The account button reads "Already have an account? Sign In" or "Sign Out".
    void setSignedIn(bool signedIn);
    bool signedIn() const { return m_signedIn; }
    // While the browser sign-in runs: a line saying so and a Cancel button in place of the
    // account button.
    void setWaiting(bool waiting);
    bool waiting() const { return m_waiting; }

signals:
    void dismissRequested();
    void signInRequested();
    void signOutRequested();
    void cancelSignInRequested();

private:
    QLabel* m_icon;
    QPushButton* m_continue;
    QPushButton* m_account;
    QLabel* m_waitingLabel;
    QPushButton* m_cancel;
    bool m_signedIn = false;
    bool m_waiting = false;
};
