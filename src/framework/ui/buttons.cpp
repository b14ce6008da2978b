#include "framework/ui/buttons.h"

#include <stdexcept>

#include <QLineEdit>
#include <QPainter>
#include <QShortcut>

#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/lookup_dialogs.h"
#include "framework/ui/mask_edit.h"

namespace bco {

namespace {

// A magnifying glass, drawn rather than loaded so that the framework carries no image files.
QIcon magnifierIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.6));
    painter.setBrush(QColor(200, 225, 255));
    painter.drawEllipse(QRectF(2.0, 2.0, 8.5, 8.5));
    painter.setPen(QPen(QColor(40, 40, 40), 2.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(10.0, 10.0), QPointF(14.0, 14.0));
    return QIcon(pixmap);
}

} // namespace

TButtonFlat::TButtonFlat(QWidget *parent)
    : QToolButton(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

TBtnPesquisa::TBtnPesquisa(QWidget *parent)
    : TButtonFlat(parent) {
    setIcon(magnifierIcon());
    SetHint(QStringLiteral("Pesquisar"));
    connect(this, &QToolButton::clicked, this, [this] { runGuarded([this] { lookUp(); }); });
}

void TBtnPesquisa::OpenWithKeyIn(QWidget *field) {
    auto *key = new QShortcut(QKeySequence(Qt::Key_F9), field, nullptr, nullptr, Qt::WidgetShortcut);
    connect(key, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            click();
    });
    if (!toolTip().contains(u"F9"))
        SetHint(QStringLiteral("%1 (F9)").arg(toolTip()));
}

void TBtnPesquisa::lookUp() {
    if (OnClick) {
        const std::function<void()> handler = OnClick;
        handler();
        return;
    }
    if (BeforePesq) {
        const std::function<void()> handler = BeforePesq;
        handler();
    }
    if (dataSource_.isNull())
        throw std::logic_error("look-up button " + objectName().toStdString() + " has no data source");
    if (!Pesquisar(dataSource_, title_ + QLatin1Char('|') + emptyText_, false, true))
        return;
    if (!associate_.isNull() && !keyField_.isEmpty() && dataSource_->DataSet() != nullptr) {
        const QString key = dataSource_->DataSet()->FieldByName(keyField_).AsString();
        if (auto *masked = qobject_cast<TMaskEdit *>(associate_))
            masked->SetText(key);
        else if (auto *edit = qobject_cast<QLineEdit *>(associate_))
            edit->setText(key);
    }
    if (AfterPesq) {
        const std::function<void()> handler = AfterPesq;
        handler();
    }
}

} // namespace bco
