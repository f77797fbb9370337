#pragma once

#include <QTabWidget>

// A tab widget that reports its display area (the area below the tabs,
// inside the frame) also before it has been shown and laid out.
class TabStrip : public QTabWidget
{
    Q_OBJECT

public:
    using QTabWidget::QTabWidget;

    // The display area in this widget's coordinates, as the style lays it out.
    QRect displayArea() const;
};
