#pragma once

#include "data/ReferenceList.h"

#include <QFrame>
#include <QStringList>

#include <memory>

class ListModel;
class QAbstractItemModel;
class QModelIndex;
class QSettings;
class TreeModel;

namespace Ui {
class WinTab;
}

// Background colours of the tab's line edits, shared by every tab of the program.
extern const QString styleOk;
extern const QString styleWarn;
extern const QString styleNormal;

// One opened reference list: the records of the file, a tree and a list model over them, the search
// results, and one view that shows either of them as a tree or as a flat list.
class WinTab : public QFrame
{
    Q_OBJECT

public:
    explicit WinTab(QWidget *parent = nullptr);
    ~WinTab() override;

    bool loadFile(const QString &path);
    QString filePath() const;

    void saveState(QSettings &settings);
    void restoreState(QSettings &settings);

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void changeViewType();
    void setCurrSelection(const QModelIndex &index);
    void startSearch();
    void clearSearch();
    void copySelectedToClipboard();

private:
    void showFullList();
    void showFoundList();
    void showFullTree();
    void showFoundTree();
    void showModel(QAbstractItemModel *model, std::unique_ptr<QAbstractItemModel> newFoundModel,
                   bool treeView);
    void switchToListView();
    void switchToTreeView();
    void storeTreeExpands();
    void storeFoundTreeExpands();
    void restoreHeader(const QByteArray &state);

    std::unique_ptr<Ui::WinTab> ui;

    bool isTreeView = true;
    bool isShowingResults = false;
    bool isLoaded = false;
    ReferenceList refList;
    ReferenceList foundList;
    QString givenFilePath; // what filePath() answers, kept even when the load fails
    QStringList treeExpands;
    QStringList foundTreeExpands;
    // Declared after the lists so that they go before the lists they point to.
    std::unique_ptr<ListModel> listModel;
    std::unique_ptr<TreeModel> treeModel;
    std::unique_ptr<QAbstractItemModel> foundModel; // the model over foundList while it is shown
};
