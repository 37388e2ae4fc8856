#pragma once

#include <QLabel>

class QTimer;

// One Material Icons glyph showing the sign-in and sync state. A syncing state stays up for at least
// kSyncingHoldMs, so even an instant sync is visible; states arriving meanwhile wait for the hold.
class SyncCloudIcon : public QLabel
{
    Q_OBJECT
public:
    enum State
    {
        NotSignedIn = 0,
        Idle = 1,
        Pending = 2,
        Syncing = 3,
        Error = 4,
        Offline = 5,
    };
    Q_ENUM(State)

    static constexpr int kSyncingHoldMs = 600;

    explicit SyncCloudIcon(QWidget* parent = nullptr);

    // Codes outside 0..5 are ignored.
    void setState(int state);
    // The state on display (a state held back behind the syncing hold is not shown yet).
    State state() const { return m_state; }

    static QChar glyph(State state);
    // The glyph colour for a state against the given palette.
    static QColor colour(State state, const QPalette& palette);

protected:
    void changeEvent(QEvent* event) override;

private:
    void apply(State state);
    void restyle();

    State m_state = NotSignedIn;
    int m_heldState = -1; // waiting for the hold to end; -1 when none
    QTimer* m_holdTimer;
    bool m_restylePending = false;
};
