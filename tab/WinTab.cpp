#include "tab/WinTab.h"
#include "ui_WinTab.h"

#include "data/ListModel.h"
#include "data/TreeItem.h"
#include "data/TreeModel.h"
#include "tab/BranchKeys.h"
#include "tab/TreeView.h"

#include <QClipboard>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>

const QString styleOk = QStringLiteral("background-color: #e0ffe4");
const QString styleWarn = QStringLiteral("background-color: #ffe0e0");
const QString styleNormal = QStringLiteral("background-color: white");

namespace {

const QString keyHeader = QStringLiteral("header");
const QString keyTreeExpands = QStringLiteral("treeexpands");
const QString keyIsTreeView = QStringLiteral("istreeview");

bool containsText(const Reference &reference, const QByteArray &text)
{
    if (reference.path.contains(text))
        return true;
    for (const QByteArray &field : reference.fields) {
        if (field.contains(text))
            return true;
    }
    return false;
}

// The form's label widths suit the font the form was drawn with; a wider font widens the label rather
// than cut its text off at the left.
void widenToFit(QLabel *label, const QString &text)
{
    const QMargins margins = label->contentsMargins();
    const int needed = label->fontMetrics().horizontalAdvance(text) + 2 * label->margin() + margins.left()
        + margins.right();
    if (needed > label->minimumWidth())
        label->setFixedWidth(needed);
}

// The first fields of a saved header state: its format marker, format version and orientation.
bool readHeaderPrologue(const QByteArray &state, int &marker, int &version, int &orientation)
{
    QDataStream stream(state);
    stream >> marker >> version >> orientation;
    return stream.status() == QDataStream::Ok;
}

// Whether every list in a saved header state holds no more elements than its bytes can: the header
// reserves room for the count it reads before it reads the elements, so a damaged count would ask
// for gigabytes. The fields are those the toolkit's header writes, in its order.
bool headerCountsFit(const QByteArray &state)
{
    QDataStream stream(state);
    const auto skip = [&](qint64 bytes) {
        return bytes <= state.size() - stream.device()->pos() && stream.skipRawData(int(bytes)) == bytes;
    };
    const auto skipList = [&](qint64 elementSize) {
        quint32 count = 0;
        stream >> count;
        return stream.status() == QDataStream::Ok && skip(count * elementSize);
    };
    const auto skipBits = [&] {
        quint32 bits = 0;
        stream >> bits;
        return stream.status() == QDataStream::Ok && skip((qint64(bits) + 7) / 8);
    };
    // marker, version, orientation, order, sort section and sort flag; visual and logical indexes;
    // hidden sections and their sizes; length, count, five flags and six numbers; the sections.
    return skip(5 * 4 + 1) && skipList(4) && skipList(4) && skipBits() && skipList(8)
        && skip(2 * 4 + 5 + 6 * 4) && skipList(12);
}

} // namespace

WinTab::WinTab(QWidget *parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::WinTab>())
{
    ui->setupUi(this); // names the tab "WinTab" unless it has a name already
    widenToFit(ui->label, ui->label->text());
    widenToFit(ui->label_2, ui->label_2->text());

    connect(ui->btnExpandAll, &QPushButton::released, ui->treeRefers, &QTreeView::expandAll);
    connect(ui->btnCollapseAll, &QPushButton::released, ui->treeRefers, &QTreeView::collapseAll);
    connect(ui->btnStateView, &QPushButton::released, this, &WinTab::changeViewType);
    connect(ui->treeRefers, &QTreeView::clicked, this, &WinTab::setCurrSelection);
    connect(ui->btnSearch, &QPushButton::released, this, &WinTab::startSearch);
    connect(ui->txtSearch, &QLineEdit::returnPressed, this, &WinTab::startSearch);
    connect(ui->btnClearSearch, &QPushButton::released, this, &WinTab::clearSearch);
    connect(ui->treeRefers, &TreeView::requestCopyToClipboard, this, &WinTab::copySelectedToClipboard);
}

WinTab::~WinTab()
{
    // The models go before the lists they point to; the view notices each model's end by itself.
    listModel.reset();
    treeModel.reset();
    foundModel.reset();
}

bool WinTab::loadFile(const QString &path)
{
    if (isLoaded)
        return false;
    givenFilePath = path;
    // The file system's own encoding, so that every path the file dialog returns can be opened.
    if (!refList.load(QFile::encodeName(path)))
        return false;
    listModel = std::make_unique<ListModel>(&refList);
    treeModel = std::make_unique<TreeModel>(&refList);
    isLoaded = true;
    // Room for the largest count a search of this file can report.
    widenToFit(ui->label, QStringLiteral("Found: %1 ").arg(refList.references.size()));
    switchToListView();
    // Wide enough for most reference paths until the user's own layout is restored.
    ui->treeRefers->header()->resizeSection(0, ui->treeRefers->fontMetrics().averageCharWidth() * 48);
    return true;
}

QString WinTab::filePath() const
{
    return givenFilePath;
}

void WinTab::saveState(QSettings &settings)
{
    storeTreeExpands();
    settings.setValue(keyHeader, ui->treeRefers->header()->saveState());
    settings.setValue(keyTreeExpands, treeExpands);
    settings.setValue(keyIsTreeView, isTreeView);
}

void WinTab::restoreState(QSettings &settings)
{
    restoreHeader(settings.value(keyHeader, QString()).toByteArray());
    // Read as the toolkit reads them, so that "0" or "false" written by hand means the list, and
    // the branch keys go back as they came (those that name no node are passed over when applied).
    treeExpands = settings.value(keyTreeExpands).toStringList();
    const QVariant treeView = settings.value(keyIsTreeView, true);
    isTreeView = treeView.canConvert<bool>() ? treeView.toBool() : true;
    if (isTreeView) {
        switchToTreeView();
        applyExpanded(ui->treeRefers, treeExpands);
    } else {
        switchToListView();
    }
}

// A stored header may come from another kind of view or from a file with other columns. It is
// taken only when it fits this header; otherwise the header stays as it was.
void WinTab::restoreHeader(const QByteArray &state)
{
    QHeaderView *header = ui->treeRefers->header();
    const QByteArray current = header->saveState();
    int marker = 0, version = 0, orientation = 0;
    int currentMarker = 0, currentVersion = 0, currentOrientation = 0;
    if (!readHeaderPrologue(state, marker, version, orientation)
        || !readHeaderPrologue(current, currentMarker, currentVersion, currentOrientation)
        || marker != currentMarker || version != currentVersion || orientation != currentOrientation
        || !headerCountsFit(state))
        return;

    const int columns = header->model() ? header->model()->columnCount(ui->treeRefers->rootIndex()) : 0;
    if (!header->restoreState(state) || header->orientation() != Qt::Horizontal || header->count() != columns)
        header->restoreState(current);
}

void WinTab::changeViewType()
{
    if (isTreeView) {
        if (isShowingResults)
            storeFoundTreeExpands();
        else
            storeTreeExpands();
        switchToListView();
        return;
    }
    switchToTreeView();
    applyExpanded(ui->treeRefers, isShowingResults ? foundTreeExpands : treeExpands);
}

void WinTab::setCurrSelection(const QModelIndex &index)
{
    QLineEdit *field = ui->txtCurrRef;
    if (!index.isValid()) {
        field->clear();
        field->setStyleSheet(styleNormal);
        return;
    }
    if (!isTreeView) {
        const auto *reference = static_cast<const Reference *>(index.internalPointer());
        field->setStyleSheet(styleOk);
        field->setText(decodeText(reference->path));
        return;
    }
    const auto *item = static_cast<const TreeItem *>(index.internalPointer());
    field->setText(item->fullPath());
    field->setStyleSheet(item->isLeaf() ? styleOk : styleWarn);
}

void WinTab::startSearch()
{
    foundList.references.clear();
    foundList.kind = refList.kind;
    foundTreeExpands.clear();

    const QByteArray text = ui->txtSearch->text().toUtf8();
    if (!text.isEmpty()) {
        for (const Reference &reference : refList.references) {
            if (containsText(reference, text))
                foundList.references.push_back(reference);
        }
    }

    if (foundList.references.empty()) {
        Reference placeholder;
        placeholder.path = QByteArrayLiteral("Not found");
        foundList.references.push_back(placeholder);
        ui->label->setText(QStringLiteral("Found: 0 "));
    } else {
        ui->label->setText(QStringLiteral("Found: %1 ").arg(foundList.references.size()));
    }

    storeTreeExpands();
    if (isTreeView) {
        showFoundTree();
        ui->treeRefers->expandAll();
    } else {
        showFoundList();
    }
    ui->txtSearch->setStyleSheet(styleOk);
}

void WinTab::clearSearch()
{
    if (isTreeView) {
        showFullTree();
        applyExpanded(ui->treeRefers, treeExpands);
    } else {
        showFullList();
    }
    foundList.references.clear();
    ui->txtSearch->clear();
    ui->txtSearch->setStyleSheet(styleNormal);
    ui->label->setText(QStringLiteral("Find:"));
}

void WinTab::copySelectedToClipboard()
{
    const QItemSelectionModel *selection = ui->treeRefers->selectionModel();
    if (!selection)
        return;
    const QModelIndexList selected = selection->selectedIndexes();
    if (selected.isEmpty())
        return;

    const QModelIndex index = selected.first();
    QString text;
    if (isTreeView) {
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        text = item->fullPath();
        if (item->hasChildren()) {
            QMessageBox::warning(this, QStringLiteral("Warning"),
                                 QStringLiteral("Copying a part of the reference!."));
        }
    } else {
        const auto *reference = static_cast<const Reference *>(index.internalPointer());
        text = decodeText(reference->path);
    }
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void WinTab::showFullList()
{
    showModel(listModel.get(), nullptr, false);
}

void WinTab::showFoundList()
{
    showModel(nullptr, std::make_unique<ListModel>(&foundList), false);
}

void WinTab::showFullTree()
{
    showModel(treeModel.get(), nullptr, true);
}

void WinTab::showFoundTree()
{
    showModel(nullptr, std::make_unique<TreeModel>(&foundList), true);
}

// Shows either a long-lived model or a new result model, which the tab then owns. The result model
// shown before is deleted, and so are the selection models the view made for earlier models: the view
// never frees them itself, and every toggle and search would leave some behind.
void WinTab::showModel(QAbstractItemModel *model, std::unique_ptr<QAbstractItemModel> newFoundModel,
                       bool treeView)
{
    TreeView *view = ui->treeRefers;
    std::unique_ptr<QAbstractItemModel> oldFoundModel = std::move(foundModel);
    foundModel = std::move(newFoundModel);
    isTreeView = treeView;
    isShowingResults = foundModel != nullptr;

    view->setModel(foundModel ? foundModel.get() : model);
    view->setRootIsDecorated(treeView);

    const QItemSelectionModel *inUse = view->selectionModel();
    for (QItemSelectionModel *stale : view->findChildren<QItemSelectionModel *>()) {
        if (stale != inUse)
            delete stale;
    }
    oldFoundModel.reset();
}

void WinTab::switchToListView()
{
    if (isShowingResults)
        showFoundList();
    else
        showFullList();
    ui->btnStateView->setToolTip(QStringLiteral("Toggle to tree view"));
    ui->btnStateView->setIcon(QIcon(QStringLiteral(":/icons32/tree.png")));
    ui->btnCollapseAll->setEnabled(false);
    ui->btnExpandAll->setEnabled(false);
}

void WinTab::switchToTreeView()
{
    if (isShowingResults)
        showFoundTree();
    else
        showFullTree();
    ui->btnStateView->setToolTip(QStringLiteral("Toggle to list view"));
    ui->btnStateView->setIcon(QIcon(QStringLiteral(":/icons32/list.png")));
    ui->btnCollapseAll->setEnabled(true);
    ui->btnExpandAll->setEnabled(true);
}

void WinTab::storeTreeExpands()
{
    if (isTreeView && !isShowingResults)
        treeExpands = collectExpanded(ui->treeRefers);
}

void WinTab::storeFoundTreeExpands()
{
    if (isTreeView && isShowingResults)
        foundTreeExpands = collectExpanded(ui->treeRefers);
}
