#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class Updater;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

private:
    Updater *updater;
};

#endif
