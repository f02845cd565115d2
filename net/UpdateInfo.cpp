#include "net/UpdateInfo.h"

#include "net/QueryCanceller.h"
#include "net/UpdateDocument.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <memory>
#include <tuple>

namespace crv_net {

namespace {

// The document is a few hundred bytes; anything far larger is not an update document.
constexpr qint64 maxAnswerBytes = 64 * 1024;
constexpr int maxRedirects = 5;

enum class Stop { None, TimedOut, TooLarge, Quitting };

struct Answer
{
    QByteArray body;
    int httpStatus = 0;
};

std::string quoted(const QString &text)
{
    return "\"" + text.toStdString() + "\"";
}

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

bool isValidProgramId(const std::string &programId)
{
    if (programId.empty())
        return false;
    for (const char c : programId) {
        const bool letterOrDigit = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool documentUrl(const std::string &hostName, const std::string &programId, QUrl &url, std::string &error)
{
    const QString host = QString::fromStdString(hostName).trimmed();
    if (host.isEmpty()) {
        error = "no update host is set";
        return false;
    }
    url = QUrl(host.contains(QLatin1String("://")) ? host : QStringLiteral("https://") + host,
               QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
        error = "the update host " + quoted(host) + " uses the scheme " + quoted(url.scheme())
            + "; only https and http are supported";
        return false;
    }
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery()
        || url.hasFragment()) {
        error = "the update host " + quoted(host) + " is not a valid host name";
        return false;
    }
    if (!isValidProgramId(programId)) {
        error = "the program id " + quoted(programId) + " cannot name an update document";
        return false;
    }
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/updates/") + QString::fromStdString(programId)
                + QStringLiteral(".json"));
    return true;
}

std::string reasonPhrase(const QNetworkReply &reply)
{
    const QString phrase = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    return phrase.isEmpty() ? std::string() : " (" + phrase.toStdString() + ")";
}

// Runs the transfer in a local event loop, so that it works on a thread without one.
bool fetch(const QUrl &url, unsigned int timeoutMs, const QByteArray &userAgent, Answer &answer,
           std::string &error)
{
    const std::string where = url.toDisplayString().toStdString();
    QEventLoop loop;
    QTimer timer;
    QNetworkAccessManager manager;
    Stop stop = Stop::None;
    std::unique_ptr<QNetworkReply> reply;

    auto halt = [&stop, &reply](Stop why) {
        if (stop == Stop::None)
            stop = why;
        if (reply && reply->isRunning())
            reply->abort();
    };
    if (!QueryCanceller::arm(&loop, [&halt] { halt(Stop::Quitting); })) {
        error = "the query to " + where + " was cancelled because the program is quitting";
        return false;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader("Accept", "application/json");
    reply.reset(manager.get(request));
    // The network thread stops reading once this much waits unread, so a flood is never taken in
    // faster than it is refused; an answer that announces its excess is refused at its headers.
    reply->setReadBufferSize(maxAnswerBytes + 1);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxAnswerBytes)
            halt(Stop::TooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        answer.body += reply->read(maxAnswerBytes + 1 - answer.body.size());
        if (answer.body.size() > maxAnswerBytes)
            halt(Stop::TooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&halt] { halt(Stop::TimedOut); });
    timer.setSingleShot(true);
    timer.start(int(std::min<unsigned int>(timeoutMs, INT_MAX)));
    if (reply->isRunning())
        loop.exec();
    timer.stop();
    QueryCanceller::disarm(&loop);
    QCoreApplication::removePostedEvents(&loop);

    switch (stop) {
    case Stop::TimedOut:
        error = "no complete answer from " + where + " within " + std::to_string(timeoutMs) + " ms";
        return false;
    case Stop::TooLarge:
        error = "the answer from " + where + " is larger than " + std::to_string(maxAnswerBytes) + " bytes";
        return false;
    case Stop::Quitting:
        error = "the query to " + where + " was cancelled because the program is quitting";
        return false;
    case Stop::None:
        break;
    }

    answer.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::TooManyRedirectsError:
        error = where + " redirects more than " + std::to_string(maxRedirects) + " times";
        return false;
    case QNetworkReply::InsecureRedirectError:
        error = where + " redirects from https to plain http";
        return false;
    default:
        if (answer.httpStatus >= 300) {
            error = "the update server answered " + where + " with HTTP status "
                + std::to_string(answer.httpStatus) + reasonPhrase(*reply);
        } else {
            error = "cannot get " + where + ": " + reply->errorString().toStdString();
        }
        return false;
    }
    if (answer.httpStatus != 200) {
        error = "the update server answered " + where + " with HTTP status "
            + std::to_string(answer.httpStatus) + reasonPhrase(*reply) + " instead of 200";
        return false;
    }
    answer.body += reply->read(maxAnswerBytes + 1 - answer.body.size());
    if (answer.body.size() > maxAnswerBytes) {
        error = "the answer from " + where + " is larger than " + std::to_string(maxAnswerBytes) + " bytes";
        return false;
    }
    return true;
}

// Pre-releases come before the release they lead to: alpha < beta < release candidate < final.
// Release types without a word count as final.
int releaseRank(crv::ReleaseType type)
{
    switch (type) {
    case crv::Alpha:
        return 1;
    case crv::Beta:
        return 2;
    case crv::ReleaseCandidate:
        return 3;
    }
    return 4;
}

// The revision names a build, not a version: a rebuild of the same version is not newer.
bool isNewer(const crv::ProgramInfoA &published, const crv::ProgramInfoA &installed)
{
    const auto key = [](const crv::ProgramInfoA &info) {
        return std::make_tuple(info.version.major, info.version.minor, info.version.patch,
                               releaseRank(info.releaseType));
    };
    return key(published) > key(installed);
}

} // namespace

UpdateInfo::UpdateInfo() = default;

UpdateInfo::~UpdateInfo() = default;

void UpdateInfo::setHostName(const std::string &hostName)
{
    this->hostName = hostName;
}

bool UpdateInfo::getUpdateProgramInfo(const crv::ProgramInfoA &info, UpdateProgramInfo &result,
                                      unsigned int timeoutMs)
{
    lastError.clear();
    result.newVersionAvailable = false;
    const QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        lastError = "the update query needs an application object";
        return false;
    }
    QUrl url;
    if (!documentUrl(hostName, info.programId, url, lastError))
        return false;

    const QByteArray userAgent
        = QByteArray::fromStdString((info.shortName.empty() ? std::string("Refscope") : info.shortName) + "/"
                                    + info.version.toString("%major.%minor.%patch"));
    if (!QueryCanceller::begin()) {
        lastError = "the query to " + url.toDisplayString().toStdString()
            + " was not started because the program is quitting";
        return false;
    }
    Answer answer;
    const bool fetched = fetch(url, timeoutMs, userAgent, answer, lastError);
    // The network objects of the transfer are gone; free what they left for a deferred delete, since a
    // pool thread runs no event loop that would.
    if (QThread::currentThread() != application->thread())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QueryCanceller::end();
    if (!fetched)
        return false;

    UpdateProgramInfo published;
    // Names the document leaves out are the installed program's own.
    published.companyName = info.companyName;
    published.longName = info.longName;
    published.shortName = info.shortName;
    published.webSite = info.webSite;
    published.productPage = info.productPage;
    published.copyright = info.copyright;
    std::string fault;
    if (!readUpdateDocument(answer.body, info.programId, published, fault)) {
        lastError = "the answer from " + url.toDisplayString().toStdString() + " " + fault;
        return false;
    }
    published.httpStatus = answer.httpStatus;
    published.newVersionAvailable = isNewer(published, info);
    result = published;
    return true;
}

const std::string &UpdateInfo::getLastError() const
{
    return lastError;
}

} // namespace crv_net
