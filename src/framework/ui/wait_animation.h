#pragma once

#include <QString>

class QWidget;

namespace bco {

// The wait animation the forms show while a long call runs: a small frameless panel over the form with
// a busy bar and a text, and the wait cursor. The panel never takes the focus, so showing it runs no exit
// handler. `kind` picks the default text when none is given (every kind waits the same way).
//
// There is one animation at a time. Showing it while it is shown only changes its text; hiding it hides
// it however many times it was shown, and hiding it when it is not shown does nothing: the forms start it
// at several steps of one action and stop it once, at the end or on the way out of a failure.
void ActiveShowAvi(QWidget *form, int kind, const QString &text = QString());
void DeactiveShowAvi();

// For tests and for the host: whether the animation is shown, and its text.
bool ShowAviActive();
QString ShowAviText();

} // namespace bco
