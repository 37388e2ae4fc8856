#pragma once

#include <QMainWindow>

// The three-pane main window. For now an empty frame that later work fills in.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};
