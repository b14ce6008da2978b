#include "framework/ui/date_edit.h"

#include <array>

#include <QApplication>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFrame>

#include "framework/checks/consiste.h"

namespace bco {

namespace {

// Monday first, as QDate::dayOfWeek counts.
const std::array<const char *, 7> weekDays = {"Segunda", "Terça",  "Quarta", "Quinta",
                                              "Sexta",   "Sábado", "Domingo"};

const char *const dateMask = "!99/99/9999;1; ";

} // namespace

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : TMaskEdit(parent) {
    SetEditMask(QString::fromLatin1(dateMask));
    connect(this, &EditControl::Changed, this, [this] { dateChanged(); });
    SetShowWeekDay(true);
}

QDate TDateEditPlus::GetDate() const {
    return Consiste::TextToDate(text()).value_or(QDate());
}

void TDateEditPlus::SetDate(QDate date) {
    SetText(date.isValid() ? Consiste::DateToText(date) : QString());
}

bool TDateEditPlus::IsDateValid() const {
    return Consiste::IsDateValid(text());
}

bool TDateEditPlus::CheckValidDate() {
    if (IsEmpty()) {
        Clear();
        return true;
    }
    const std::optional<QDate> date = Consiste::TextToDate(text());
    if (!date || *date < Consiste::DayZero())
        return false;
    SetDate(*date);
    return true;
}

QString TDateEditPlus::WeekDayName(QDate date) {
    return date.isValid() ? QString::fromUtf8(weekDays[date.dayOfWeek() - 1]) : QString();
}

QString TDateEditPlus::WeekDayName() const {
    return WeekDayName(GetDate());
}

void TDateEditPlus::SetShowWeekDay(bool show) {
    showWeekDay_ = show;
    setTextMargins(0, 0, show ? weekDayWidth() : 0, 0);
    update();
}

void TDateEditPlus::SetBlueWhenValid(bool blue) {
    blueWhenValid_ = blue;
    dateChanged();
}

int TDateEditPlus::weekDayWidth() const {
    int widest = 0;
    for (const char *name : weekDays)
        widest = std::max(widest, fontMetrics().horizontalAdvance(QString::fromUtf8(name)));
    return widest + fontMetrics().averageCharWidth();
}

void TDateEditPlus::dateChanged() {
    const QString weekDay = WeekDayName();
    setToolTip(weekDay);
    QPalette colours = palette();
    const QColor text = blueWhenValid_ && !weekDay.isEmpty() ? QColor(Qt::blue)
                                                             : QApplication::palette().color(QPalette::Text);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        colours.setColor(group, QPalette::Text, text);
    setPalette(colours);
    update();
}

void TDateEditPlus::paintEvent(QPaintEvent *event) {
    TMaskEdit::paintEvent(event);
    const QString weekDay = WeekDayName();
    if (!showWeekDay_ || weekDay.isEmpty())
        return;
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int width = weekDayWidth();
    const QRect area(contents.right() - width + 1, contents.top(), width, contents.height());
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::PlaceholderText));
    painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, weekDay);
}

void TDateEditPlus::handleKey(QKeyEvent *event, QChar key) {
    const bool opensCalendar = (event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier) ||
                               (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier);
    if (opensCalendar && !isReadOnly()) {
        event->accept();
        PopupCalendar();
        return;
    }
    TMaskEdit::handleKey(event, key);
}

void TDateEditPlus::PopupCalendar() {
    auto *calendar = new QCalendarWidget(this);
    calendar->setWindowFlags(Qt::Popup);
    calendar->setAttribute(Qt::WA_DeleteOnClose);
    calendar->setLocale(locale());
    calendar->setMinimumDate(Consiste::DayZero());
    calendar->setGridVisible(true);
    const QDate held = GetDate();
    calendar->setSelectedDate(held.isValid() ? held : QDate::currentDate());
    connect(calendar, &QCalendarWidget::activated, this, [this, calendar](QDate date) {
        SetDate(date);
        calendar->close();
    });
    connect(calendar, &QCalendarWidget::clicked, this, [this, calendar](QDate date) {
        SetDate(date);
        calendar->close();
    });
    calendar->adjustSize();
    calendar->move(mapToGlobal(QPoint(0, height())));
    calendar->show();
}

} // namespace bco
