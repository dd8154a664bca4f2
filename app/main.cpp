// norvane: the firmware update wizard.
#include "app/NorvaneApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(app_kTitle));
    NorvaneApp app;
    return NorvaneApp_Run(&app, argc, argv);
}
