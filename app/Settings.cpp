#include "app/Settings.h"

#include "app/StoreCheck.h"

#include <QFileInfo>

Settings::Settings()
    : Settings(QFileInfo(QStringLiteral("settings.ini")).absoluteFilePath())
{
}

Settings::Settings(const QString &path)
    : Settings(path, prepareStoreFile(path))
{
}

// A store that must leave its file alone is made over no file at all: it reads nothing, and the
// window writes nothing into it.
Settings::Settings(const QString &path, const QString &refusal)
    : QSettings(refusal.isEmpty() ? path : QString(), QSettings::IniFormat)
    , filePath(path)
    , startRefusal(refusal)
{
}

QString Settings::refusalToWrite() const
{
    return startRefusal.isEmpty() ? prepareStoreFile(filePath) : startRefusal;
}
