#include "framework/ui/db_navigator.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPolygonF>
#include <QToolButton>

#include "framework/data/data_source.h"
#include "framework/ui/event_guard.h"

namespace bco {

void DataSourceFollower::follow(DataSource *source) {
    for (const QMetaObject::Connection &connection : connections_)
        QObject::disconnect(connection);
    connections_.clear();
    source_ = source;
    if (source != nullptr) {
        connections_ << QObject::connect(source, &DataSource::DataChange, owner_, [this] { changed_(); })
                     << QObject::connect(source, &DataSource::StateChange, owner_, [this] { changed_(); });
    }
}

namespace {

// A triangle pointing left or right, with a bar before it for first and last.
QIcon navigatorIcon(TDBNavigator::Button button) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30));
    const bool left = button == TDBNavigator::Button::First || button == TDBNavigator::Button::Prior;
    const bool bar = button == TDBNavigator::Button::First || button == TDBNavigator::Button::Last;
    QPolygonF triangle;
    if (left)
        triangle << QPointF(11.5, 3.0) << QPointF(11.5, 13.0) << QPointF(5.5, 8.0);
    else
        triangle << QPointF(4.5, 3.0) << QPointF(4.5, 13.0) << QPointF(10.5, 8.0);
    painter.drawPolygon(triangle);
    if (bar)
        painter.drawRect(left ? QRectF(3.0, 3.0, 2.0, 10.0) : QRectF(11.0, 3.0, 2.0, 10.0));
    QIcon icon(pixmap);
    return icon;
}

const char *const hints[] = {"Primeiro", "Anterior", "Próximo", "Último"};

} // namespace

TDBNavigator::TDBNavigator(QWidget *parent)
    : QWidget(parent) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        const auto button = static_cast<Button>(i);
        auto *tool = new QToolButton(this);
        tool->setFocusPolicy(Qt::NoFocus);
        tool->setAutoRaise(true);
        tool->setIcon(navigatorIcon(button));
        tool->setToolTip(QString::fromUtf8(hints[i]));
        tool->setAutoRepeat(button == Button::Prior || button == Button::Next);
        connect(tool, &QToolButton::clicked, this, [this, button] { move(button); });
        layout->addWidget(tool);
        buttons_[i] = tool;
    }
    refresh();
}

QToolButton *TDBNavigator::ButtonOf(Button button) const {
    return buttons_[static_cast<int>(button)];
}

void TDBNavigator::SetDataSource(DataSource *source) {
    follower_.follow(source);
    refresh();
}

void TDBNavigator::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        refresh();
}

void TDBNavigator::refresh() {
    ClientDataSet *dataSet = follower_.source() != nullptr ? follower_.source()->DataSet() : nullptr;
    const bool usable =
        dataSet != nullptr && follower_.source()->Enabled() && dataSet->Active() && !dataSet->IsEmpty();
    const bool notFirst = usable && dataSet->RecNo() > 1;
    const bool notLast = usable && dataSet->RecNo() < dataSet->RecordCount();
    ButtonOf(Button::First)->setEnabled(notFirst);
    ButtonOf(Button::Prior)->setEnabled(notFirst);
    ButtonOf(Button::Next)->setEnabled(notLast);
    ButtonOf(Button::Last)->setEnabled(notLast);
}

void TDBNavigator::move(Button button) {
    runGuarded([this, button] {
        ClientDataSet *dataSet = follower_.source() != nullptr ? follower_.source()->DataSet() : nullptr;
        if (dataSet == nullptr)
            return;
        switch (button) {
        case Button::First:
            dataSet->First();
            break;
        case Button::Prior:
            dataSet->Prior();
            break;
        case Button::Next:
            dataSet->Next();
            break;
        case Button::Last:
            dataSet->Last();
            break;
        }
        if (OnMoved)
            OnMoved();
    });
    refresh();
}

DataFieldControl::DataFieldControl(QWidget *control)
    : control_(control)
    , follower_(control, [this] { refresh(); }) {
}

void DataFieldControl::SetDataSource(DataSource *source) {
    follower_.follow(source);
    refresh();
}

void DataFieldControl::SetDataField(const QString &field) {
    dataField_ = field;
    refresh();
}

void DataFieldControl::refresh() {
    ClientDataSet *dataSet = follower_.source() != nullptr ? follower_.source()->DataSet() : nullptr;
    const Field *field =
        dataSet != nullptr && dataSet->Active() && !dataSet->IsEmpty() && follower_.source()->Enabled()
            ? dataSet->FindField(dataField_)
            : nullptr;
    showText(field != nullptr ? field->DisplayText(control_->locale()) : QString());
}

TDBText::TDBText(QWidget *parent)
    : QLabel(parent)
    , DataFieldControl(this) {
    setTextFormat(Qt::PlainText);
}

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , DataFieldControl(this) {
    setReadOnly(true);
}

void TDBEdit::showText(const QString &text) {
    setText(text);
    setCursorPosition(0);
}

} // namespace bco
