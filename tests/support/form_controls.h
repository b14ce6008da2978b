#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

namespace bco::testing {

// A control of `form` found by its object name, the name its .ui file gives it; a form without it fails the
// test, which names the control.
template <class Widget = QWidget> Widget *controlOf(const QWidget &form, const char *name) {
    auto *widget = form.findChild<Widget *>(QString::fromLatin1(name));
    if (widget == nullptr)
        ADD_FAILURE() << form.objectName().toStdString() << " has no " << name;
    return widget;
}

} // namespace bco::testing
