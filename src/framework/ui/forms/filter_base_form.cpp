#include "framework/ui/forms/filter_base_form.h"

#include <stdexcept>

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMetaProperty>
#include <QSaveFile>
#include <QShortcut>
#include <QStandardPaths>

#include "framework/ui/event_guard.h"
#include "framework/ui/number_edit.h"
#include "ui_filter_base_form.h"

namespace bco {

namespace {

QString escaped(QString value) {
    return value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QString unescaped(const QString &value) {
    QString plain;
    plain.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            ++i;
            plain += value[i] == u'n' ? QChar(u'\n') : value[i];
        } else {
            plain += value[i];
        }
    }
    return plain;
}

// The property that holds what the operator set in a control: our controls' own value (a number edit's
// Value, a date edit's Date, a masked edit's stored Text), else the widget's user property (a line edit's
// text, a check or radio button's state, a combo box's text).
QMetaProperty valueProperty(const QWidget *widget) {
    const QMetaObject *meta = widget->metaObject();
    for (const char *name : {"Value", "Date", "Text"}) {
        const int index = meta->indexOfProperty(name);
        if (index >= 0 && meta->property(index).isWritable())
            return meta->property(index);
    }
    return meta->userProperty();
}

} // namespace

QString TOptionList::Values(const QString &name) const {
    for (const auto &[key, value] : rows_)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

void TOptionList::SetValues(const QString &name, const QString &value) {
    for (auto &[key, stored] : rows_) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            stored = value;
            return;
        }
    }
    rows_.append({name, value});
}

bool TOptionList::Contains(const QString &name) const {
    for (const auto &row : rows_)
        if (row.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QStringList TOptionList::Names() const {
    QStringList names;
    for (const auto &row : rows_)
        names << row.first;
    return names;
}

QString TOptionList::Text() const {
    QString text;
    for (const auto &[key, value] : rows_)
        text += key + QLatin1Char('=') + escaped(value) + QLatin1Char('\n');
    return text;
}

void TOptionList::SetText(const QString &text) {
    rows_.clear();
    for (const QString &row : text.split(QLatin1Char('\n'))) {
        const qsizetype bar = row.indexOf(QLatin1Char('='));
        if (bar > 0)
            SetValues(row.left(bar), unescaped(row.mid(bar + 1)));
    }
}

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget *parent)
    : TForm(parent) {
    Ui::frmFiltroPadrao().setupUi(this);
    BindFrame();
}

TfrmFiltroPadrao::TfrmFiltroPadrao(DescendantLayout, QWidget *parent)
    : TForm(parent) {
}

void TfrmFiltroPadrao::BindFrame() {
    BindFormControls();
    grbFiltro = Control<QGroupBox>("grbFiltro");
    sbtConfirma = Control<QToolButton>("sbtConfirma");
    btfSaveOpc = Control<QToolButton>("btfSaveOpc");
    btfLoadOpc = Control<QToolButton>("btfLoadOpc");
    SetButtonIcon(sbtConfirma, QStyle::SP_DialogApplyButton);
    SetButtonIcon(btfSaveOpc, QStyle::SP_DialogSaveButton);
    SetButtonIcon(btfLoadOpc, QStyle::SP_DialogOpenButton);
    OnClick(sbtConfirma, [this] { sbtConfirmaClick(); });
    // Confirmed from the keyboard as the maintenance forms confirm (Ctrl with either Enter).
    ButtonKeys(sbtConfirma,
               {QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::CTRL | Qt::Key_Return)});
    // Esc leaves without confirming, as the window's close does: the list keeps its criteria.
    new QShortcut(
        QKeySequence(Qt::Key_Escape), this, [this] { runGuarded([this] { Close(); }); },
        Qt::WidgetWithChildrenShortcut);
    OnClick(btfSaveOpc, [this] { SaveOptions(); });
    OnClick(btfLoadOpc, [this] { LoadOptions(); });
}

void TfrmFiltroPadrao::sbtConfirmaClick() {
    SetModalResult(mrOk);
    Close();
}

void TfrmFiltroPadrao::FormClose(TCloseAction &action) {
    action = TCloseAction::caFree;
}

QList<QWidget *> TfrmFiltroPadrao::optionControls() const {
    QList<QWidget *> controls;
    for (QWidget *widget : grbFiltro->findChildren<QWidget *>()) {
        if (widget->objectName().isEmpty() || qobject_cast<QLabel *>(widget) != nullptr)
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(widget);
            button != nullptr && !button->isCheckable())
            continue;
        if (valueProperty(widget).isValid())
            controls << widget;
    }
    return controls;
}

void TfrmFiltroPadrao::btfSaveOpcClick() {
    // A value still being typed would be saved as the one it replaces: refused before anything is cleared.
    for (QWidget *control : optionControls())
        if (auto *number = qobject_cast<TNumberEdit *>(control))
            number->RefuseUnfinished();
    Opcoes.Clear();
    for (QWidget *control : optionControls()) {
        const QVariant value = valueProperty(control).read(control);
        const QString text =
            value.typeId() == QMetaType::QDate ? value.toDate().toString(Qt::ISODate) : value.toString();
        Opcoes.SetValues(control->objectName(), text);
    }
}

void TfrmFiltroPadrao::btfLoadOpcClick() {
    for (QWidget *control : optionControls())
        if (Opcoes.Contains(control->objectName()))
            valueProperty(control).write(control, Opcoes.Values(control->objectName()));
}

QString TfrmFiltroPadrao::OptionsFile() const {
    QString screen = lblCodTela != nullptr ? lblCodTela->text().trimmed() : QString();
    if (screen.isEmpty())
        screen = objectName();
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/opcoes/") +
           screen + QStringLiteral(".opcoes");
}

void TfrmFiltroPadrao::SaveOptions() {
    btfSaveOpcClick();
    const QString path = OptionsFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Opcoes.Text().toUtf8()) < 0 || !file.commit())
        throw std::runtime_error(QStringLiteral("Não foi possível gravar as opções em %1: %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
}

void TfrmFiltroPadrao::LoadOptions() {
    QFile file(OptionsFile());
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("Não foi possível ler as opções de %1: %2")
                                         .arg(file.fileName(), file.errorString())
                                         .toStdString());
        Opcoes.SetText(QString::fromUtf8(file.readAll()));
    } else {
        Opcoes.Clear();
    }
    btfLoadOpcClick();
}

} // namespace bco
