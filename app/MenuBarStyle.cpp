#include "app/MenuBarStyle.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

// A style of its own kind: the application's style object stays the application's.
MenuBarStyle::MenuBarStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->objectName()))
{
}

int MenuBarStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                            QStyleHintReturn *returnData) const
{
    if (hint == SH_MenuBar_AltKeyNavigation)
        return true;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void MenuBarStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    // The menu bar has the focus only while the keyboard moves through its titles.
    if (element == CE_MenuBarItem && widget && widget->hasFocus() && (option->state & State_Selected)) {
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            QStyleOptionMenuItem selected = *item;
            selected.state |= State_Sunken;
            QProxyStyle::drawControl(element, &selected, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
