#include "dialogs/CheckUpdateRunnableTask.h"

#include "BuildConfig.h"

namespace {

// How long a query may take, in milliseconds.
constexpr unsigned int queryTimeLimit = 5000;

} // namespace

CheckUpdateRunnableTask::CheckUpdateRunnableTask() = default;

CheckUpdateRunnableTask::~CheckUpdateRunnableTask() = default;

void CheckUpdateRunnableTask::setup(const crv::ProgramInfoA *programInfo,
                                    std::shared_ptr<crv_net::UpdateInfo::UpdateProgramInfo> result,
                                    std::shared_ptr<std::string> errorText)
{
    this->programInfo = programInfo;
    this->result = std::move(result);
    this->errorText = std::move(errorText);
    updateInfo.setHostName(updateHost());
}

void CheckUpdateRunnableTask::run()
{
    const bool state = updateInfo.getUpdateProgramInfo(*programInfo, *result, queryTimeLimit);
    *errorText = updateInfo.getLastError();
    emit signalTaskFinished(state);
}

void CheckUpdateRunnableTask::setUpdateHost(const std::string &host)
{
    updateHost() = host;
}

std::string &CheckUpdateRunnableTask::updateHost()
{
    static std::string host = REFSCOPE_UPDATE_HOST;
    return host;
}
