#pragma once

#include <cstdint>
#include <string>

// The maker's shared identity classes. They are header-only so that the update-service client,
// which describes the newest published version with the same record, needs no link to the program.
namespace crv {

namespace detail {

// Replaces the first occurrence of a placeholder only; later occurrences stay literally.
inline void replaceFirst(std::string &text, const std::string &placeholder, const std::string &value)
{
    const std::string::size_type at = text.find(placeholder);
    if (at != std::string::npos)
        text.replace(at, placeholder.size(), value);
}

} // namespace detail

class Version
{
public:
    virtual ~Version() = default;

    std::string toString(const std::string &pattern) const
    {
        std::string text = pattern;
        detail::replaceFirst(text, "%major", std::to_string(major));
        detail::replaceFirst(text, "%minor", std::to_string(minor));
        detail::replaceFirst(text, "%patch", std::to_string(patch));
        return text;
    }

    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t patch = 0;
};

class ProgramVersion : public Version
{
public:
    ~ProgramVersion() override = default;

    std::string toString(const std::string &pattern) const
    {
        std::string text = Version::toString(pattern);
        detail::replaceFirst(text, "%revision", revision);
        return text;
    }

    std::string revision;
};

enum ReleaseType : int32_t {
    Alpha = 2,
    Beta = 4,
    ReleaseCandidate = 8,
};

class ProgramInfoA
{
public:
    ProgramInfoA() = default;
    virtual ~ProgramInfoA() = default;

    // Formats the version and release type; see Version::toString for the placeholder rules.
    std::string versionToString(const std::string &pattern) const
    {
        std::string text = version.toString(pattern);
        detail::replaceFirst(text, "%reltype", shortReleaseWord(releaseType));
        detail::replaceFirst(text, "%releasetype", longReleaseWord(releaseType));
        detail::replaceFirst(text, "%debug", std::string());
        return text;
    }

    static std::string shortReleaseWord(ReleaseType type)
    {
        switch (type) {
        case Alpha: return "a";
        case Beta: return "b";
        case ReleaseCandidate: return "rc";
        }
        return std::string();
    }

    static std::string longReleaseWord(ReleaseType type)
    {
        switch (type) {
        case Alpha: return "alpha";
        case Beta: return "beta";
        case ReleaseCandidate: return "release candidate";
        }
        return std::string();
    }

    std::string buildDate;
    std::string buildTime;
    std::string companyName = "Corvane";
    std::string webSite;
    std::string longName;
    std::string shortName;
    std::string programId;
    std::string reservedText1;
    std::string productPage;
    std::string reservedText2;
    std::string copyright;
    std::string reservedText3;
    int64_t reservedNumber1 = 0;
    int32_t reservedNumber2 = 0;
    ReleaseType releaseType = ReleaseType(0);
    ProgramVersion version;
};

} // namespace crv

// This program's own identity.
class ProgramInfo : public crv::ProgramInfoA
{
public:
    ProgramInfo();
    ~ProgramInfo() override = default;
};

// The one identity record, built before main and never changed afterwards.
extern const ProgramInfo gProgramInfo;
