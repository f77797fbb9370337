#include "windows/tabstrip.h"

#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

QRect TabStrip::displayArea() const
{
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
}
