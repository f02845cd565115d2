#pragma once

#include "dialogs/ProgramInfo.h"

#include <cstdint>
#include <string>

namespace crv_net {

// Asks the maker's update host which version of a program is the newest published one.
// One object per query thread; a query blocks its caller and runs its own local event loop, so it
// may be made from a thread-pool thread that has no event loop of its own.
class UpdateInfo
{
public:
    // The newest published version: the inherited fields describe it.
    class UpdateProgramInfo : public crv::ProgramInfoA
    {
    public:
        bool urgent = false; // the maker asks everyone to update (security fixes)
        bool newVersionAvailable = false; // the published version is newer than the installed one
        int32_t httpStatus = 0; // status of the answer that carried the document
        std::string notes; // a short line about what the new version brings
        std::string downloadUrl;
    };

    UpdateInfo();
    virtual ~UpdateInfo();

    // A bare host name (optionally with ":port") talks HTTPS; "http://host:port" talks plain HTTP.
    void setHostName(const std::string &hostName);

    // Fetches https://HOST/updates/<programId>.json within timeoutMs milliseconds and compares the
    // published version with info's. On failure returns false, leaves result's published fields as
    // they were, clears result.newVersionAvailable and says why in getLastError().
    bool getUpdateProgramInfo(const crv::ProgramInfoA &info, UpdateProgramInfo &result,
                              unsigned int timeoutMs);

    // Empty after a successful query.
    const std::string &getLastError() const;

private:
    std::string hostName;
    std::string lastError;
};

} // namespace crv_net
