#include "app/Application.h"

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}
