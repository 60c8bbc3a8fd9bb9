// Entry point of the Zelvan loader: one frameless main window and the event loop.
#include "app/QuitOnTermination.h"
#include "app/ZelvanFirmwareLoader.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The form asks for Segoe UI; where it is missing, a narrow sans serif keeps the button texts whole.
    QFont::insertSubstitutions(QStringLiteral("Segoe UI"),
                               {QStringLiteral("Selawik"), QStringLiteral("Liberation Sans Narrow"),
                                QStringLiteral("Nimbus Sans Narrow"),
                                QStringLiteral("DejaVu Sans Condensed")});
    QuitOnTermination quitOnTermination;
    int result = 0;
    {
        ZelvanFirmwareLoader window;
        window.show();
        result = application.exec();
    }
    return result;
}
