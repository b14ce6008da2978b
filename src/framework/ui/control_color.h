#pragma once

class QWidget;

namespace bco {

// The background colours the forms switch a control between: the info-tip colour marks a field the
// operator must fill (or may type into), the button-face colour one that is closed to typing, and the
// window colour is a control's plain background. The colours come from the application's palette, so a
// theme changes them everywhere at once.
enum class ControlColor { Window, InfoTip, ButtonFace };

// Paints the control's background (the base of an edit or a grid) in that colour, in every state of the
// control, enabled or not, so that a disabled field keeps the colour its form gave it.
void SetControlColor(QWidget *widget, ControlColor color);

} // namespace bco
