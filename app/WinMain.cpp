#include "app/WinMain.h"

#include "app/Application.h"
#include "app/MenuBarStyle.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/WinAbout.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/WinTab.h"
#include "ui_WinMain.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

#include <algorithm>

namespace {

// The group name older builds wrote; stored files carry it, so it stays exactly this text.
const QString windowGroup = QStringLiteral("class WinMain");

// Remembered files read at start-up at most. Nobody works with more tabs; a damaged or planted
// list of a hundred thousand names is cut here instead of being looked up one by one.
const int maxRestoredFiles = 1000;

// The largest window the platforms make; a stored size beyond it is damage, not a layout.
const int maxWindowSide = 32767;

Settings *store()
{
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    return application ? &application->settings : nullptr;
}

// The zero-based indexes of the "openfiles" elements to read, in order, with the array open for
// reading. A valid count holds: only elements up to it are read, of those only the ones that exist
// (a damaged count of 1,000,000 with three elements costs nothing). Without a count, as after a
// crash that lost the line the toolkit writes after the elements, the elements are read from the
// first on while they have a "filepath".
QList<int> storedElements(QSettings &settings)
{
    const QString array = QStringLiteral("openfiles");
    bool valid = false;
    const int size = settings.value(array + QStringLiteral("/size")).toInt(&valid);
    settings.beginReadArray(array);
    QList<int> indexes;
    if (valid && size >= 0) {
        const QStringList groups = settings.childGroups();
        for (const QString &group : groups) {
            bool ok = false;
            const int number = group.toInt(&ok);
            if (ok && number >= 1 && number <= size)
                indexes.append(number - 1);
        }
        std::sort(indexes.begin(), indexes.end());
        indexes = indexes.mid(0, maxRestoredFiles);
    } else {
        for (int i = 0; i < maxRestoredFiles; ++i) {
            settings.setArrayIndex(i);
            if (!settings.contains(QStringLiteral("filepath")))
                break;
            indexes.append(i);
        }
    }
    return indexes;
}

// The band above a window's client area where the desktop draws its title bar, by the style's
// measure: the frame is not known before the window is first shown.
QRect titleBand(const QRect &client, int titleHeight)
{
    return QRect(client.left(), client.top() - titleHeight, client.width(), titleHeight);
}

int distance(const QRect &a, const QRect &b)
{
    const int dx = qMax(0, qMax(b.left() - a.right(), a.left() - b.right()));
    const int dy = qMax(0, qMax(b.top() - a.bottom(), a.top() - b.bottom()));
    return qMax(dx, dy);
}

} // namespace

WinMain::WinMain(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::WinMain)
{
    winCheckUpdate = new WinCheckUpdate(this);
    winCheckUpdate->launch(true);

    ui->setupUi(this);
    setWindowTitle(QString::fromStdString(gProgramInfo.longName) + QStringLiteral(".    ")
                   + QString::fromStdString(gProgramInfo.versionToString("%major.%minor.%patch %reltype")));

    connect(ui->tabs, &QTabWidget::tabCloseRequested, this, &WinMain::closeTab);
    connect(ui->actionOpenFile, &QAction::triggered, this, &WinMain::openFile);
    connect(ui->actionNewFile, &QAction::triggered, this, &WinMain::newFile);
    connect(ui->actionSave, &QAction::triggered, this, &WinMain::saveFile);
    connect(ui->actionSaveAll, &QAction::triggered, this, &WinMain::saveAllFiles);
    connect(ui->actionSaveAs, &QAction::triggered, this, &WinMain::saveFileAs);
    connect(ui->actionExit, &QAction::triggered, this, &WinMain::exit);
    connect(ui->actionOptions, &QAction::triggered, this, &WinMain::options);
    connect(ui->actionAbout, &QAction::triggered, this, &WinMain::about);
    connect(ui->actionCheckForUpdate, &QAction::triggered, this, &WinMain::checkForUpdate);
    connect(ui->actionWebpage, &QAction::triggered, this, &WinMain::webPage);

    // The menu bar from the keyboard, as desktops offer it: F10 opens "File", Alt alone selects it,
    // and the arrow keys go on to "Help". The style is the window's child, made after the menu bar,
    // so that it outlives the menu bar when the window's children go.
    auto *menuBarStyle = new MenuBarStyle;
    menuBarStyle->setParent(this);
    ui->menubar->setStyle(menuBarStyle);
    auto *openMenus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenus, &QShortcut::activated, this,
            [this] { ui->menubar->setActiveAction(ui->menuFile->menuAction()); });

    restoreWindowState();
}

WinMain::~WinMain()
{
    // settings.ini is written now, before the tabs and their lists are torn down: a teardown that
    // takes its time, or never ends, cannot lose it.
    if (saveWindowState())
        store()->sync();
    delete winCheckUpdate;
}

WinTab *WinMain::addFileTab(const QString &filePath)
{
    if (filePath.isEmpty())
        return nullptr;
    // Cheap before a tab is built: a remembered file that has gone costs only this look.
    const QFileInfo file(filePath);
    if (!file.isFile() || !file.isReadable())
        return nullptr;
    std::unique_ptr<WinTab> tab(new WinTab(nullptr));
    const QString name = filePath.section(QLatin1Char('/'), -1);
    if (!tab->loadFile(filePath))
        return nullptr;
    tab->setObjectName(name);
    // A tab caption treats "&" as a mnemonic marker; double it so the file's name shows as it is.
    QString caption = name;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    ui->tabs->addTab(tab.get(), caption);
    return tab.release();
}

void WinMain::closeTab(int inIndex)
{
    QWidget *page = ui->tabs->widget(inIndex);
    if (!page)
        return;
    ui->tabs->removeTab(inIndex);
    delete page;
}

void WinMain::openFile()
{
    // Start where the current page's file lives: the other list is usually beside it.
    QString startDir = QDir::homePath();
    if (auto *tab = qobject_cast<WinTab *>(ui->tabs->currentWidget())) {
        const QFileInfo current(tab->filePath());
        if (current.absoluteDir().exists())
            startDir = current.absolutePath();
    }
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Dataref or Command file."), startDir,
                                                      tr("Library (*.*)"));
    if (path.isEmpty())
        return;
    addFileTab(path);
}

void WinMain::newFile()
{
    warnNotSupported();
}

void WinMain::saveFile()
{
    warnNotSupported();
}

void WinMain::saveAllFiles()
{
    warnNotSupported();
}

void WinMain::saveFileAs()
{
    warnNotSupported();
}

void WinMain::exit()
{
    warnNotSupported();
}

void WinMain::options()
{
    warnNotSupported();
}

void WinMain::about()
{
    WinAbout dialog(this);
    dialog.showAbout();
}

void WinMain::checkForUpdate()
{
    winCheckUpdate->launch(false);
}

void WinMain::webPage()
{
    // The stored site is a bare host name; desktops want a full address.
    QString site = QString::fromStdString(gProgramInfo.webSite).trimmed();
    if (!site.contains(QStringLiteral("://")))
        site.prepend(QStringLiteral("https://"));
    QDesktopServices::openUrl(QUrl(site, QUrl::TolerantMode));
}

void WinMain::warnNotSupported()
{
    QMessageBox::warning(this, QStringLiteral("Warning"), QStringLiteral("Not supports yet"), QMessageBox::Ok,
                         QMessageBox::NoButton);
}

void WinMain::restoreWindowState()
{
    QSettings *settings = store();
    if (!settings)
        return;
    settings->beginGroup(windowGroup);
    if (settings->contains(QStringLiteral("geometry"))) {
        const QRect stored = settings->value(QStringLiteral("geometry"), QRect()).toRect();
        if (stored.isValid())
            placeWindow(stored);
    }

    const QList<int> elements = storedElements(*settings);
    for (int i : elements) {
        settings->setArrayIndex(i);
        const QString path = settings->value(QStringLiteral("filepath"), QString()).toString();
        if (WinTab *tab = addFileTab(path))
            tab->restoreState(*settings);
    }
    settings->endArray();

    bool ok = false;
    int currTab = settings->value(QStringLiteral("currtab"), -1).toInt(&ok);
    if (!ok)
        currTab = -1;
    if (currTab < ui->tabs->count())
        ui->tabs->setCurrentIndex(currTab);
    settings->endGroup();
}

// A stored geometry that is at least partly on a screen comes back as stored, only moved down or
// sideways when its title bar would lie on no screen (say after the scale factor changed), so that
// the user can still take hold of it. One wholly off every screen keeps its size, and the toolkit
// places it.
void WinMain::placeWindow(const QRect &stored)
{
    QRect desktop;
    bool visible = false;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        desktop |= screen->availableGeometry();
        visible = visible || screen->availableGeometry().intersects(stored);
    }
    if (desktop.isEmpty()) {
        setGeometry(stored);
        return;
    }
    QSize size = stored.size();
    if (!visible || size.width() > maxWindowSide || size.height() > maxWindowSide)
        size = size.boundedTo(desktop.size());
    if (!visible) {
        resize(size);
        return;
    }

    const int titleHeight = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect band = titleBand(QRect(stored.topLeft(), size), titleHeight);
    QRect nearest;
    for (const QScreen *screen : screens) {
        const QRect area = screen->availableGeometry();
        if (area.intersects(band)) {
            setGeometry(QRect(stored.topLeft(), size));
            return;
        }
        if (nearest.isNull() || distance(area, band) < distance(nearest, band))
            nearest = area;
    }
    const int overlap = qMin(size.width(), 100);
    const int x
        = qBound(nearest.left() - size.width() + overlap, stored.left(), nearest.right() + 1 - overlap);
    const int y = qBound(nearest.top() + titleHeight, stored.top(), nearest.bottom() + 1);
    setGeometry(QRect(QPoint(x, y), size));
}

bool WinMain::saveWindowState()
{
    Settings *settings = store();
    if (!settings)
        return false;
    const QString refusal = settings->refusalToWrite();
    if (!refusal.isEmpty()) {
        qWarning().noquote() << "[Settings] did not save the window state:" << refusal;
        return false;
    }
    settings->beginGroup(windowGroup);
    // Rewrite the group whole, so elements of an older, longer list and damaged values go.
    settings->remove(QString());
    settings->setValue(QStringLiteral("geometry"), geometry());
    settings->beginWriteArray(QStringLiteral("openfiles"));
    for (int i = 0; i < ui->tabs->count(); ++i) {
        auto *tab = qobject_cast<WinTab *>(ui->tabs->widget(i));
        if (!tab)
            continue;
        settings->setArrayIndex(i);
        settings->setValue(QStringLiteral("filepath"), tab->filePath());
        tab->saveState(*settings);
    }
    settings->endArray();
    settings->setValue(QStringLiteral("currtab"), ui->tabs->currentIndex());
    settings->endGroup();
    return true;
}
