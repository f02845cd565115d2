#pragma once

#include <QProxyStyle>

// The application's style for the menu bar, with keyboard access that needs no mnemonics in the
// menu titles: Alt alone selects the first title in every style, and a title selected from the
// keyboard is drawn as an open one, since some styles (Fusion) mark a title only while its menu is
// open and the user would not see where the keyboard is.
class MenuBarStyle : public QProxyStyle
{
    Q_OBJECT

public:
    MenuBarStyle();

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
};
