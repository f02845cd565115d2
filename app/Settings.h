#pragma once

#include <QSettings>

// The program's only settings store: "settings.ini" in the working directory at start-up.
class Settings : public QSettings
{
public:
    Settings();
};
