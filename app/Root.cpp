#include "Root.h"

Root::Root(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Sortimentor Converter"));
    resize(760, 520);
}
