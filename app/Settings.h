#pragma once

#include <QSettings>

// The program's only settings store: "settings.ini" in the working directory at start-up.
class Settings : public QSettings
{
public:
    Settings();

    // Why the store neither reads nor writes its file in this run; empty when it may.
    QString refusal() const { return startRefusal; }
    // Looks at the file once more before the state is written into the store, as it may have been
    // replaced while the program ran: why it may not be written now, empty when it may.
    QString refusalToWrite() const;

private:
    explicit Settings(const QString &path);
    Settings(const QString &path, const QString &refusal);

    QString filePath;
    QString startRefusal;
};
