#include "dialogs/WinCheckUpdate.h"

#include "dialogs/CheckUpdateRunnableTask.h"
#include "dialogs/ProgramInfo.h"
#include "ui_WinCheckUpdate.h"

#include <QDebug>
#include <QDesktopServices>
#include <QLabel>
#include <QLayout>
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
    formSize = minimumSize();
    formLabelSize = ui->labelInfo->minimumSize();
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
        if (!isVisible())
            centreOverWindow();
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
    showMessage(QStringLiteral("Your version is ") + installedVersionText());
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
        showMessage(QStringLiteral("New version is available! ")
                    + QString::fromStdString(updateResult.versionToString(versionPattern)));
        if (!isVisible()) {
            centreOverWindow();
            show();
        }
    } else if (state) {
        checkState = UpToDate;
        showMessage(QStringLiteral("Your version is up to date. ") + installedVersionText());
    } else {
        showMessage(QStringLiteral("Service is temporary unavailable. Please try again later."));
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).critical()
            << "[CheckUpdate] ERROR: " << errorText.c_str();
        checkState = Failed;
    }
}

// The form's sizes are the least the dialog takes. A message that needs more widens the label, up
// to twice its form width, and wraps beyond that; the dialog follows the label.
void WinCheckUpdate::showMessage(const QString &text)
{
    QLabel *label = ui->labelInfo;
    label->setText(text);
    const QMargins margins = label->contentsMargins();
    const int oneLine = label->fontMetrics().horizontalAdvance(text) + margins.left() + margins.right()
        + 2 * label->margin() + 1;
    const int width = qBound(formLabelSize.width(), oneLine, 2 * formLabelSize.width());
    label->setFixedSize(width, qMax(formLabelSize.height(), label->heightForWidth(width)));
    layout()->activate();
    const QPoint centre = geometry().center();
    setFixedSize(sizeHint().expandedTo(formSize));
    if (isVisible())
        move(pos() + centre - geometry().center()); // grows about its middle
}

// The dialog comes up over the middle of the main window, also when a silent check shows it.
void WinCheckUpdate::centreOverWindow()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    // Not yet shown, the dialog has no frame of its own; the desktop draws it like the window's.
    const QRect outer = owner->frameGeometry();
    const QRect inner = owner->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    QRect framed = QRect(QPoint(), size()).marginsAdded(frame);
    framed.moveCenter(outer.center());
    setGeometry(framed.marginsRemoved(frame));
}

QString WinCheckUpdate::installedVersionText() const
{
    return QString::fromStdString(gProgramInfo.versionToString(versionPattern));
}
