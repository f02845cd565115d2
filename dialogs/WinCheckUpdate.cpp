#include "dialogs/WinCheckUpdate.h"

#include "dialogs/CheckUpdateRunnableTask.h"
#include "dialogs/ProgramInfo.h"
#include "ui_WinCheckUpdate.h"

#include <QDebug>
#include <QDesktopServices>
#include <QMessageLogger>
#include <QThreadPool>
#include <QUrl>

namespace {

const char *const versionPattern = "%major.%minor.%patch %reltype [%revision]";

// The feed comes from the network: its address is handed to the desktop only when it names a web
// page, never a script, a local file, a share or a path the desktop would resolve on its own.
bool isWebAddress(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return url.isValid() && !url.isRelative() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

WinCheckUpdate::WinCheckUpdate(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::WinCheckUpdate>())
{
    ui->setupUi(this);
    setWindowTitle(QString::fromStdString(gProgramInfo.shortName) + QStringLiteral(" Check Update"));
    resetState();
    connect(ui->pushCheckOrDownload, &QPushButton::clicked, this, &WinCheckUpdate::slotPushButton);
}

// A running task keeps its own storage alive and its report to this dialog is dropped with it.
WinCheckUpdate::~WinCheckUpdate() = default;

void WinCheckUpdate::launch(bool silent)
{
    resetState();
    if (silent) {
        hide();
        startCheck();
    } else {
        show();
    }
}

void WinCheckUpdate::setUpdateHost(const std::string &host)
{
    CheckUpdateRunnableTask::setUpdateHost(host);
}

void WinCheckUpdate::resetState()
{
    // A check still running is abandoned: it finishes into its own storage, unheard.
    ++checkNumber;
    pendingResult.reset();
    pendingErrorText.reset();

    updateResult.newVersionAvailable = false;
    errorText.clear();
    checkState = Idle;
    ui->pushCheckOrDownload->setText(QStringLiteral("Check Update"));
    ui->labelInfo->setText(QStringLiteral("Your version is ") + installedVersionText());
}

void WinCheckUpdate::startCheck()
{
    if (checkState == Checking)
        return;
    errorText.clear();
    checkState = Checking;

    const uint64_t number = ++checkNumber;
    pendingResult = std::make_shared<crv_net::UpdateInfo::UpdateProgramInfo>();
    pendingErrorText = std::make_shared<std::string>();

    auto *task = new CheckUpdateRunnableTask;
    task->setAutoDelete(true);
    task->setup(&gProgramInfo, pendingResult, pendingErrorText);
    connect(task, &CheckUpdateRunnableTask::signalTaskFinished, this, [this, number](bool state) {
        if (number == checkNumber)
            slotTaskFinished(state);
    });
    QThreadPool::globalInstance()->start(task, 0);
}

void WinCheckUpdate::slotPushButton()
{
    switch (checkState) {
    case Checking:
        break;
    case UpdateAvailable: {
        const QString address = QString::fromStdString(updateResult.downloadUrl).trimmed();
        if (isWebAddress(address))
            QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
        else if (!address.isEmpty())
            qWarning() << "[CheckUpdate] refused to open the download address" << address;
        close();
        break;
    }
    case Idle:
    case UpToDate:
    case Failed:
        startCheck();
        break;
    }
}

void WinCheckUpdate::slotTaskFinished(bool state)
{
    if (checkState != Checking || !pendingResult)
        return;
    // The task has finished writing: its storage is the dialog's alone now.
    updateResult = *pendingResult;
    errorText = *pendingErrorText;
    pendingResult.reset();
    pendingErrorText.reset();

    if (state && updateResult.newVersionAvailable) {
        checkState = UpdateAvailable;
        ui->pushCheckOrDownload->setText(QStringLiteral("Download"));
        ui->labelInfo->setText(QStringLiteral("New version is available! ")
                               + QString::fromStdString(updateResult.versionToString(versionPattern)));
        if (!isVisible())
            show();
    } else if (state) {
        checkState = UpToDate;
        ui->labelInfo->setText(QStringLiteral("Your version is up to date. ") + installedVersionText());
    } else {
        ui->labelInfo->setText(QStringLiteral("Service is temporary unavailable. Please try again later."));
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).critical()
            << "[CheckUpdate] ERROR: " << errorText.c_str();
        checkState = Failed;
    }
}

QString WinCheckUpdate::installedVersionText() const
{
    return QString::fromStdString(gProgramInfo.versionToString(versionPattern));
}
