#include "framework/ui/control_color.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace bco {

void SetControlColor(QWidget *widget, ControlColor color) {
    const QPalette application = QApplication::palette();
    QColor background;
    switch (color) {
    case ControlColor::Window:
        background = application.color(QPalette::Active, QPalette::Base);
        break;
    case ControlColor::InfoTip:
        background = application.color(QPalette::Active, QPalette::ToolTipBase);
        break;
    case ControlColor::ButtonFace:
        background = application.color(QPalette::Active, QPalette::Button);
        break;
    }
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, background);
    widget->setPalette(palette);
}

} // namespace bco
