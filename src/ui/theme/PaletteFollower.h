#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// Calls back whenever the palette a widget shows may have changed: its own palette, the
// application palette, or a theme change delivered to its window. Widgets that carry a style
// sheet of their own do not get the application's palette change, so their window is watched.
class PaletteFollower : public QObject
{
public:
    PaletteFollower(QWidget* widget, std::function<void()> onChange);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow();

    QWidget* m_widget;
    std::function<void()> m_onChange;
    QPointer<QWidget> m_watchedWindow;
};
