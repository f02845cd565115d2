#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class WinMain;
}
class WinCheckUpdate;
class WinTab;

// The program's single top-level window: the menus and one tab per opened reference list.
class WinMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit WinMain(QWidget *parent = nullptr);
    ~WinMain() override;

    // Opens the file in a new last page; none when the path is empty or the file cannot be loaded.
    WinTab *addFileTab(const QString &filePath);

private slots:
    void closeTab(int inIndex);
    void openFile();
    void newFile();
    void saveFile();
    void saveAllFiles();
    void saveFileAs();
    void exit();
    void options();
    void about();
    void checkForUpdate();
    void webPage();

private:
    void restoreWindowState();
    // Writes the state into the store; false when the store's file may not be written.
    bool saveWindowState();
    void placeWindow(const QRect &stored);
    void warnNotSupported();

    std::unique_ptr<Ui::WinMain> ui;
    WinCheckUpdate *winCheckUpdate = nullptr; // lives as long as the window; deleted after the state is saved
};
