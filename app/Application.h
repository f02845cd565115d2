#pragma once

#include "app/Settings.h"

#include <QApplication>

// The application object: lives for the whole run and owns the settings store, which flushes
// "settings.ini" when the application goes down, after the main window is gone.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    Settings settings;
};
