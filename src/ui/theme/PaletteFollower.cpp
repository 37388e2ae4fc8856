#include "PaletteFollower.h"

#include <QEvent>

PaletteFollower::PaletteFollower(QWidget* widget, std::function<void()> onChange)
    : QObject(widget)
    , m_widget(widget)
    , m_onChange(std::move(onChange))
{
    m_widget->installEventFilter(this);
    watchWindow();
}

bool PaletteFollower::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget) {
        switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ApplicationPaletteChange:
            m_onChange();
            break;
        case QEvent::ParentChange:
        case QEvent::Show:
            watchWindow();
            break;
        default:
            break;
        }
    } else if (watched == m_watchedWindow && event->type() == QEvent::ApplicationPaletteChange) {
        m_onChange();
    }
    return QObject::eventFilter(watched, event);
}

void PaletteFollower::watchWindow()
{
    QWidget* top = m_widget->window();
    if (top == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = top != m_widget ? top : nullptr;
    if (m_watchedWindow)
        m_watchedWindow->installEventFilter(this);
}
