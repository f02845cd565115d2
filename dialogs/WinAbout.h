#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class WinAbout;
}

// Shows the program's identity: name, version, build date, copyright and web site.
class WinAbout : public QDialog
{
    Q_OBJECT

public:
    explicit WinAbout(QWidget *parent = nullptr);
    ~WinAbout() override;

    // Shows the dialog with fresh text and runs it until it is closed; returns the modal result.
    int showAbout();

private:
    void fillText();

    std::unique_ptr<Ui::WinAbout> ui;
};
