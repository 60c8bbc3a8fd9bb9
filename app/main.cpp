// Entry point of the Zelvan loader: one frameless main window and the event loop.
#include "app/ZelvanFirmwareLoader.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    int result = 0;
    {
        ZelvanFirmwareLoader window;
        window.show();
        result = application.exec();
    }
    return result;
}
