#pragma once

#include "net/UpdateInfo.h"

#include <QByteArray>

#include <string>

namespace crv_net {

// Reads an update document into published. Fields the document leaves out keep the values published
// had. On failure returns false and says what is wrong with the document in error, as the end of a
// sentence that starts with "the answer from <address>".
bool readUpdateDocument(const QByteArray &body, const std::string &expectedProgramId,
                        UpdateInfo::UpdateProgramInfo &published, std::string &error);

} // namespace crv_net
