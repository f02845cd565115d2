// An answer body of the update host into the update document reader.
#include "fuzz/FuzzCheck.h"

#include "net/UpdateDocument.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    crv_net::UpdateInfo::UpdateProgramInfo published;
    published.longName = "Installed long name";
    std::string error;
    const bool read = crv_net::readUpdateDocument(body, "CORVREFSCOPE", published, error);
    if (read) {
        FUZZ_CHECK(published.programId == "CORVREFSCOPE");
        FUZZ_CHECK(published.releaseType == crv::Alpha || published.releaseType == crv::Beta
                   || published.releaseType == crv::ReleaseCandidate
                   || published.releaseType == crv::ReleaseType(0));
        (void)published.versionToString("%major.%minor.%patch %reltype [%revision]");
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
