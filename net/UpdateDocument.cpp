#include "net/UpdateDocument.h"

#include "net/RepeatedKeys.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace crv_net {

namespace {

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// Reads the fields of the update document; each reader names the offending field on failure.
bool readText(const QJsonObject &object, const char *key, bool required, std::string &value,
              std::string &error)
{
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isUndefined()) {
        if (required)
            error = "has no " + quoted(std::string(key));
        return !required;
    }
    if (!field.isString()) {
        error = "has " + quoted(std::string(key)) + " that is not a text";
        return false;
    }
    value = field.toString().toStdString();
    return true;
}

bool readNumber(const QJsonObject &object, const char *key, uint32_t &value, std::string &error)
{
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isUndefined()) {
        error = "has no " + quoted("version." + std::string(key));
        return false;
    }
    const double number = field.toDouble(-1.0);
    if (!field.isDouble() || number < 0.0 || number > 4294967295.0 || std::floor(number) != number) {
        error = "has " + quoted("version." + std::string(key))
            + " that is not a whole number from 0 to 4294967295";
        return false;
    }
    value = uint32_t(number);
    return true;
}

bool readReleaseType(const QJsonObject &object, crv::ReleaseType &value, std::string &error)
{
    std::string word;
    if (!readText(object, "releaseType", true, word, error))
        return false;
    if (word == "alpha")
        value = crv::Alpha;
    else if (word == "beta")
        value = crv::Beta;
    else if (word == "rc")
        value = crv::ReleaseCandidate;
    else if (word == "final")
        value = crv::ReleaseType(0);
    else {
        error
            = "has the release type " + quoted(word) + "; expected \"alpha\", \"beta\", \"rc\" or \"final\"";
        return false;
    }
    return true;
}

bool readFlag(const QJsonObject &object, const char *key, bool &value, std::string &error)
{
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isUndefined())
        return true;
    if (!field.isBool()) {
        error = "has " + quoted(std::string(key)) + " that is not true or false";
        return false;
    }
    value = field.toBool();
    return true;
}

} // namespace

bool readUpdateDocument(const QByteArray &body, const std::string &expectedProgramId,
                        UpdateInfo::UpdateProgramInfo &published, std::string &error)
{
    QByteArray repeated;
    if (findRepeatedKey(body, repeated)) {
        error = "has the key " + quoted(repeated.toStdString())
            + (repeated.contains('\\') ? " written with escapes" : " twice in one object");
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = "is not valid JSON (" + parseError.errorString().toStdString() + " at byte "
            + std::to_string(parseError.offset) + ")";
        return false;
    }
    if (!document.isObject()) {
        error = "is not a JSON object";
        return false;
    }
    const QJsonObject root = document.object();
    if (!readText(root, "programId", true, published.programId, error))
        return false;
    if (published.programId != expectedProgramId) {
        error = "describes the program " + quoted(published.programId) + ", not " + quoted(expectedProgramId);
        return false;
    }
    const QJsonValue versionField = root.value(QLatin1String("version"));
    if (!versionField.isObject()) {
        error = versionField.isUndefined() ? "has no \"version\"" : "has \"version\" that is not an object";
        return false;
    }
    const QJsonObject version = versionField.toObject();
    if (!readNumber(version, "major", published.version.major, error)
        || !readNumber(version, "minor", published.version.minor, error)
        || !readNumber(version, "patch", published.version.patch, error)
        || !readText(version, "revision", false, published.version.revision, error)
        || !readReleaseType(root, published.releaseType, error)
        || !readText(root, "downloadUrl", true, published.downloadUrl, error))
        return false;
    return readText(root, "longName", false, published.longName, error)
        && readText(root, "shortName", false, published.shortName, error)
        && readText(root, "companyName", false, published.companyName, error)
        && readText(root, "webSite", false, published.webSite, error)
        && readText(root, "productPage", false, published.productPage, error)
        && readText(root, "copyright", false, published.copyright, error)
        && readText(root, "buildDate", false, published.buildDate, error)
        && readText(root, "buildTime", false, published.buildTime, error)
        && readText(root, "notes", false, published.notes, error)
        && readFlag(root, "urgent", published.urgent, error);
}

} // namespace crv_net
