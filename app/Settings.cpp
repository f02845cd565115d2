#include "app/Settings.h"

Settings::Settings()
    : QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat)
{
}
