#pragma once

#include "net/UpdateInfo.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class WinCheckUpdate;
}

// Tells the user whether a newer version is published and offers its download address. The query
// runs on the global thread pool; the dialog only ever takes the report of its latest check.
class WinCheckUpdate : public QDialog
{
    Q_OBJECT

public:
    enum State : int32_t {
        Idle = 0,
        Checking = 1,
        UpdateAvailable = 2,
        UpToDate = 3,
        Failed = 4,
    };

    explicit WinCheckUpdate(QWidget *parent = nullptr);
    ~WinCheckUpdate() override;

    // Resets the dialog; then either hides it and checks at once (silent) or shows it.
    void launch(bool silent);

    // Where later checks send their query. Defaults to the build's update host; tests aim checks at
    // a local server with it.
    static void setUpdateHost(const std::string &host);

private slots:
    void slotPushButton();
    void slotTaskFinished(bool state);

private:
    void resetState();
    void startCheck();
    QString installedVersionText() const;
    void showMessage(const QString &text);
    void centreOverWindow();

    State checkState = Idle;
    std::unique_ptr<Ui::WinCheckUpdate> ui;
    QSize formSize; // the form's sizes, the least the dialog and its label take
    QSize formLabelSize;
    std::string errorText;
    crv_net::UpdateInfo::UpdateProgramInfo updateResult;

    // The running check's own storage, shared with its task. A reset or a new check drops it and
    // moves checkNumber on, so a late report of an abandoned check is ignored.
    uint64_t checkNumber = 0;
    std::shared_ptr<crv_net::UpdateInfo::UpdateProgramInfo> pendingResult;
    std::shared_ptr<std::string> pendingErrorText;
};
