// The window program.
#include "app/frmMainStarter.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return RunMainWindow(app);
}
