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

signals:
    void dismissRequested();
    void signInRequested();
    void signOutRequested();

private:
    QLabel* m_icon;
    QPushButton* m_continue;
    QPushButton* m_account;
    bool m_signedIn = false;
};
