#include "tab/WinTab.h"
#include "ui_WinTab.h"

#include "data/ListModel.h"
#include "data/TreeItem.h"
#include "data/TreeModel.h"
#include "tab/BranchKeys.h"
#include "tab/TreeView.h"

#include <QApplication>
#include <QClipboard>
#include <QDataStream>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <vector>

const QString styleOk = QStringLiteral("background-color: #e0ffe4");
const QString styleWarn = QStringLiteral("background-color: #ffe0e0");
const QString styleNormal = QStringLiteral("background-color: white");

namespace {

const QString keyHeader = QStringLiteral("header");
const QString keyTreeExpands = QStringLiteral("treeexpands");
const QString keyIsTreeView = QStringLiteral("istreeview");

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

// The first layout of a file measures this many records at most, spread evenly over the sorted list
// and so over all its branches: enough for the shares below to hold for the whole list, few enough
// that a million records open as fast as a thousand.
constexpr int measuredRecords = 1000;
// Shares of the measured texts that a column fits; the longest of the rest are cut off rather than
// push the other columns out of sight. Most paths fit; nearly every type and unit does, but not the
// odd note in their place ("REPLACED - Use the replacement instead.").
constexpr double fittedPathShare = 0.9;
constexpr double fittedValueShare = 0.99;
// No column grows wider than this many average characters, whatever a file holds.
constexpr int widestPathColumn = 80;
constexpr int widestValueColumn = 24;
// Only a text's beginning is measured, twice as many characters as the widest column holds on
// average: a longer text is cut off by its column in any case.
constexpr int measuredCharacters = 2 * widestPathColumn;

// Sizes every column but the last, which takes the rest of the view, to the texts the view shows for
// the measured records; no column is narrower than its title.
void sizeColumnsToRecords(QTreeView *view)
{
    const QAbstractItemModel *model = view->model();
    QHeaderView *header = view->header();
    const int columns = model->columnCount();
    const int rows = model->rowCount();
    if (columns < 2 || rows == 0)
        return;

    const QFontMetrics metrics = view->fontMetrics();
    // What the item delegate adds around a cell's text.
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    std::vector<int> sampled;
    const int step = (rows + measuredRecords - 1) / measuredRecords;
    for (int row = 0; row < rows; row += step)
        sampled.push_back(row);
    if (sampled.back() != rows - 1)
        sampled.push_back(rows - 1); // the widest row number of the list
    std::vector<int> measured(sampled.size());
    for (int column = 0; column + 1 < columns; ++column) {
        // Types and units repeat: each distinct text is measured once.
        QHash<QString, int> widths;
        for (size_t i = 0; i < sampled.size(); ++i) {
            const QString text = model->index(sampled[i], column).data().toString().left(measuredCharacters);
            auto known = widths.constFind(text);
            if (known == widths.constEnd())
                known = widths.insert(text, metrics.horizontalAdvance(text));
            measured[i] = *known;
        }
        // The narrowest width that the share of the measured texts fits.
        const bool path = column == 0;
        const double share = path ? fittedPathShare : fittedValueShare;
        const auto fitted = measured.begin() + size_t(std::ceil(share * measured.size())) - 1;
        std::nth_element(measured.begin(), fitted, measured.end());
        const int widest = (path ? widestPathColumn : widestValueColumn) * metrics.averageCharWidth();
        header->resizeSection(column,
                              std::max(std::min(*fitted, widest) + margin, header->sectionSizeHint(column)));
    }
    // The stretched last column keeps at least the size it has; from the smallest it fills exactly
    // what is left, and the view does not scroll sideways for it.
    header->resizeSection(columns - 1, header->minimumSectionSize());
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

// The tints are light under every desktop palette, so the palette's text colour is kept only while it
// is dark enough to be read on them; a dark palette's light text gives way to black.
void fitTextToTint(QLineEdit *field)
{
    // A field with a style sheet takes the application's palette for its class, not its parent's.
    const QColor text = QApplication::palette(field).color(QPalette::Active, QPalette::Text);
    QPalette palette = field->palette();
    if (!field->styleSheet().isEmpty() && qGray(text.rgb()) > 127) {
        palette.setColor(QPalette::Text, Qt::black);
    } else {
        // Follows the palette again, whatever the field was given before.
        palette.resolve(palette.resolve() & ~(1u << QPalette::Text));
    }
    field->setPalette(palette);
}

void setTint(QLineEdit *field, const QString &style)
{
    field->setStyleSheet(style);
    fitTextToTint(field);
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

    // Only the shown page of the main window takes the key, and it works while the view has the focus.
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        ui->txtSearch->setFocus(Qt::ShortcutFocusReason);
        ui->txtSearch->selectAll();
    });
    // A long path shows from its start, where its branch is named; the tool tip holds it whole.
    connect(ui->txtCurrRef, &QLineEdit::textChanged, this, [this](const QString &text) {
        ui->txtCurrRef->setToolTip(text);
        ui->txtCurrRef->setCursorPosition(0);
    });
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
    // Encoded as the loader expects, so that every path the file dialog returns can be opened.
    if (!refList.load(ReferenceList::encodeName(path)))
        return false;
    listModel = std::make_unique<ListModel>(&refList);
    treeModel = std::make_unique<TreeModel>(&refList);
    isLoaded = true;
    // Room for the largest count a search of this file can report.
    widenToFit(ui->label, QStringLiteral("Found: %1 ").arg(refList.references.size()));
    switchToListView();
    // The layout for a first open; a stored layout restored later replaces it.
    sizeColumnsToRecords(ui->treeRefers);
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
    // Keys read from an earlier store are bounded as collected ones are: one deep file must not make
    // settings.ini huge.
    settings.setValue(keyTreeExpands, shallowestKeys(treeExpands));
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

void WinTab::changeEvent(QEvent *event)
{
    // A new palette reaches a field with a style sheet only from here, and a new style polishes the
    // fields again from the palettes they had before their tints, light text and all; the tab hears of
    // a new style after that. The fields exist once the form is built.
    const QEvent::Type type = event->type();
    const bool newLook = type == QEvent::PaletteChange || type == QEvent::ApplicationPaletteChange
        || type == QEvent::StyleChange;
    if (newLook && ui->txtCurrRef) {
        fitTextToTint(ui->txtSearch);
        fitTextToTint(ui->txtCurrRef);
    }
    QFrame::changeEvent(event);
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
        setTint(field, styleNormal);
        return;
    }
    if (!isTreeView) {
        const auto *reference = static_cast<const Reference *>(index.internalPointer());
        setTint(field, styleOk);
        field->setText(decodeText(reference->path));
        return;
    }
    const auto *item = static_cast<const TreeItem *>(index.internalPointer());
    field->setText(item->fullPath());
    setTint(field, item->isLeaf() ? styleOk : styleWarn);
}

void WinTab::startSearch()
{
    foundList.references.clear();
    foundList.kind = refList.kind;
    foundTreeExpands.clear();

    const std::vector<const Reference *> matches = refList.matching(ui->txtSearch->text().toUtf8());
    foundList.references.reserve(matches.size());
    for (const Reference *reference : matches)
        foundList.references.push_back(*reference);

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
    setTint(ui->txtSearch, styleOk);
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
    setTint(ui->txtSearch, styleNormal);
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
    // The view keeps its scroll position across models: the new one would open where the old one was
    // left, at its end when it is shorter.
    view->scrollToTop();

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
