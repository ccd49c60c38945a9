#pragma once
#include <QMainWindow>

// The program's one working window.
class Root : public QMainWindow {
    Q_OBJECT
public:
    explicit Root(QWidget *parent = nullptr);
};
