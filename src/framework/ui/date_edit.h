#pragma once

#include <QDate>

#include "framework/ui/mask_edit.h"

namespace bco {

// The date edit of the forms (dep*): the operator types dd/mm/yyyy through the mask "99/99/9999" (the
// slashes are skipped, blanks show as spaces), or picks the date from a calendar opened with F4 or
// Alt+Down. The week day of a valid date ("Domingo" ... "Sábado") is shown at the right end of the field
// and as its tooltip; with BlueWhenValid a valid date is written in blue.
//
// Text is the text as typed, slashes included ("31/02/2024"), which is what a form quotes when it
// refuses it. GetDate answers the date, or a null date when the field is empty or does not hold a date;
// SetDate with a null date empties it.
//
// CheckValidDate is the control's own check, run by the forms when the field is left or confirmed. It
// shows nothing and never aborts, because the forms report a bad date with their own message quoting the
// typed text: an empty field is left empty and passes; a real calendar date not earlier than day zero
// (30/12/1899) is rewritten as dd/mm/yyyy and passes; anything else (31/02/2024, a half-typed date, a
// date before day zero) is left exactly as typed and fails.
class TDateEditPlus : public TMaskEdit {
    Q_OBJECT
    Q_PROPERTY(bool ShowWeekDay READ ShowWeekDay WRITE SetShowWeekDay)
    Q_PROPERTY(bool BlueWhenValid READ BlueWhenValid WRITE SetBlueWhenValid)

public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    QDate GetDate() const;
    void SetDate(QDate date);
    // The text holds a calendar date (whatever its year).
    bool IsDateValid() const;
    bool CheckValidDate();

    // The week day of the date held, empty when there is none.
    QString WeekDayName() const;
    static QString WeekDayName(QDate date);

    bool ShowWeekDay() const { return showWeekDay_; }
    void SetShowWeekDay(bool show);
    bool BlueWhenValid() const { return blueWhenValid_; }
    void SetBlueWhenValid(bool blue);

    // Opens the calendar under the field, on the date held (today when there is none).
    void PopupCalendar();

protected:
    void handleKey(QKeyEvent *event, QChar key) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void dateChanged();
    int weekDayWidth() const;

    bool showWeekDay_ = true;
    bool blueWhenValid_ = false;
};

} // namespace bco
