#include "dialogs/ProgramInfo.h"

#include "BuildConfig.h"

ProgramInfo::ProgramInfo()
{
    version.major = 0;
    version.minor = 9;
    version.patch = 0;
    version.revision = REFSCOPE_REVISION;
    releaseType = crv::Beta;
    companyName = "Corvane";
    longName = "Corvane Refscope";
    shortName = "Refscope";
    programId = "CORVREFSCOPE";
    copyright = REFSCOPE_COPYRIGHT;
    webSite = REFSCOPE_WEB_SITE;
    productPage = REFSCOPE_PRODUCT_PAGE;
    buildDate = __DATE__;
    buildTime = __TIME__;
}

const ProgramInfo gProgramInfo;
