#include "SyncCloudIcon.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace {

// Each channel = window × percent/100 + window text × (1 − percent/100), truncated.
QColor towardWindow(const QPalette& palette, int percent)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    auto mix = [percent](int w, int t) {
        return (w * percent + t * (100 - percent)) / 100;
    };
    return QColor(mix(window.red(), text.red()), mix(window.green(), text.green()), mix(window.blue(), text.blue()));
}

} // namespace

SyncCloudIcon::SyncCloudIcon(QWidget* parent)
    : QLabel(parent)
    , m_holdTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("syncCloudIcon"));
    m_holdTimer->setObjectName(QStringLiteral("syncHoldTimer"));
    m_holdTimer->setSingleShot(true);
    m_holdTimer->setInterval(kSyncingHoldMs);
    connect(m_holdTimer, &QTimer::timeout, this, [this] {
        if (m_heldState >= 0) {
            const auto next = static_cast<State>(m_heldState);
            m_heldState = -1;
            setState(next);
        }
    });
    apply(NotSignedIn);
}

QChar SyncCloudIcon::glyph(State state)
{
    switch (state) {
    case NotSignedIn:
        return QChar(0xE2BD); // cloud
    case Idle:
        return QChar(0xE2BF); // cloud_done
    case Pending:
        return QChar(0xE2C2); // cloud_queue
    case Syncing:
        return QChar(0xE2C3); // cloud_upload
    case Error:
        return QChar(0xE629); // sync_problem
    case Offline:
        return QChar(0xE2C1); // cloud_off
    }
    return QChar(0xE2BD);
}

QColor SyncCloudIcon::colour(State state, const QPalette& palette)
{
    switch (state) {
    case NotSignedIn:
        return towardWindow(palette, 55);
    case Idle:
        return QColor(82, 176, 122);
    case Pending:
    case Syncing:
        return towardWindow(palette, 20);
    case Error:
        return QColor(224, 122, 107);
    case Offline:
        return towardWindow(palette, 45);
    }
    return towardWindow(palette, 55);
}

void SyncCloudIcon::setState(int state)
{
    if (state < NotSignedIn || state > Offline)
        return;
    if (m_holdTimer->isActive()) {
        // The latest state wins once the syncing glyph has been up long enough.
        m_heldState = state;
        return;
    }
    apply(static_cast<State>(state));
    if (state == Syncing)
        m_holdTimer->start();
}

void SyncCloudIcon::apply(State state)
{
    m_state = state;
    setText(QString(glyph(state)));
    restyle();
}

void SyncCloudIcon::restyle()
{
    // The style sheet's own colour ends up in this label's palette, so the colours are mixed from the
    // palette the label inherits.
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    const QString sheet = QStringLiteral("font-family: 'Material Icons'; font-size: 17px; color: %1;")
                              .arg(colour(m_state, inherited).name());
    if (sheet != styleSheet())
        setStyleSheet(sheet);
}

void SyncCloudIcon::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::ParentChange:
        // Queued: a theme change reaches the widgets one by one, and the parent may not have its new
        // palette yet.
        if (!m_restylePending) {
            m_restylePending = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_restylePending = false;
                    restyle();
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
}
