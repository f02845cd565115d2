#include "app/Application.h"

#include "BuildConfig.h"

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The desktop pairs the window with the menu entry of this name (on Wayland by nothing else).
    setDesktopFileName(QStringLiteral(REFSCOPE_APP_ID));
}
