#pragma once

#include "net/UpdateInfo.h"

#include <QObject>
#include <QRunnable>

#include <memory>
#include <string>

// One update query, run on a thread of the global pool. It writes into storage that it shares with
// the dialog that started it, so the storage outlives whichever of the two ends first.
class CheckUpdateRunnableTask : public QObject, public QRunnable
{
    Q_OBJECT

public:
    CheckUpdateRunnableTask();
    ~CheckUpdateRunnableTask() override;

    // Called on the GUI thread before the task is handed to the pool.
    void setup(const crv::ProgramInfoA *programInfo,
               std::shared_ptr<crv_net::UpdateInfo::UpdateProgramInfo> result,
               std::shared_ptr<std::string> errorText);

    void run() override;

    // The host that later set-ups aim at. GUI thread only.
    static void setUpdateHost(const std::string &host);

signals:
    void signalTaskFinished(bool state);

private:
    static std::string &updateHost();

    const crv::ProgramInfoA *programInfo = nullptr;
    std::shared_ptr<crv_net::UpdateInfo::UpdateProgramInfo> result;
    std::shared_ptr<std::string> errorText;
    crv_net::UpdateInfo updateInfo;
};
