#include "dialogs/WinAbout.h"

#include "dialogs/ProgramInfo.h"
#include "ui_WinAbout.h"

#include <QPushButton>

WinAbout::WinAbout(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::WinAbout>())
{
    ui->setupUi(this);
    connect(ui->btnOk, &QPushButton::released, this, &QDialog::close);
}

WinAbout::~WinAbout() = default;

int WinAbout::showAbout()
{
    show();
    fillText();
    return exec();
}

void WinAbout::fillText()
{
    const QString text = QString::fromStdString(gProgramInfo.longName) + QLatin1Char('\n')
        + QStringLiteral("Version: ")
        + QString::fromStdString(gProgramInfo.versionToString("%major.%minor.%patch %reltype [%revision]"))
        + QLatin1Char('\n') + QStringLiteral("Date: ") + QString::fromStdString(gProgramInfo.buildDate)
        + QLatin1Char('\n') + QString::fromStdString(gProgramInfo.copyright) + QLatin1Char('\n')
        + QString::fromStdString(gProgramInfo.webSite) + QLatin1Char('\n');
    ui->txtEdit->setPlainText(text);
}
