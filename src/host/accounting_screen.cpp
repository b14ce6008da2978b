#include "host/accounting_screen.h"

#include <stdexcept>

#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QVBoxLayout>

#include "framework/data/data_set_model.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"

namespace bco::host {

namespace {

const Variant &element(const VariantList &values, int index, bool packet) {
    const Variant &value = values[static_cast<std::size_t>(index)];
    const bool fits = packet ? (value.isNull() || value.isPacket()) : !value.isArray() && !value.isPacket();
    if (!fits)
        throw std::invalid_argument(
            QStringLiteral("A tela CTB10200 recebeu no parâmetro %1 um valor %2, não %3.")
                .arg(index + 1)
                .arg(QString::fromLatin1(Variant::typeName(value.type())),
                     packet ? QStringLiteral("um pacote de dados") : QStringLiteral("um texto"))
                .toStdString());
    return value;
}

// The company's name from the shared database; empty when it cannot be read.
QString companyName(const QString &company) {
    if (!Session::installed() || Session::current().databaseConnection.isEmpty())
        return {};
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(QStringLiteral("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = ?"));
    query.addBindValue(company);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

} // namespace

AccountingScreen::AccountingScreen(const Variant &parameters, QWidget *parent)
    : TForm(parent) {
    if (!parameters.isArray() || parameters.array().size() != 5)
        throw std::invalid_argument(
            "A tela CTB10200 espera cinco parâmetros: empresa, lançamento contábil e três "
            "pacotes de dados.");
    const VariantList &values = parameters.array();
    const QString company = element(values, 0, false).toText();
    const QString entry = element(values, 1, false).toText();
    const std::pair<ClientDataSet *, int> packets[] = {
        {&cdsLancContTemp, 2}, {&cdsRateio, 3}, {&cdsErrosTemp, 4}};
    for (const auto &[dataSet, index] : packets) {
        const Variant &packet = element(values, index, true);
        dataSet->SetData(packet.isNull() ? DataPacket() : packet.packet());
        // Amounts show with two decimals, as everywhere else.
        for (Field *field : dataSet->Fields())
            if (field->Kind() == FieldKind::Float && field->DisplayFormat().isEmpty())
                field->SetDisplayFormat(QStringLiteral("#,##0.00"));
    }

    setObjectName(QStringLiteral("frmContabilizacao"));
    setWindowTitle(QStringLiteral("Contabilização"));
    auto *layout = new QVBoxLayout(this);
    const QString name = companyName(company);
    lblEmpresa = new QLabel(
        QStringLiteral("Empresa: %1").arg(name.isEmpty() ? company : company + " - " + name), this);
    lblEmpresa->setObjectName(QStringLiteral("lblEmpresa"));
    lblLancamento = new QLabel(QStringLiteral("Lançamento contábil: %1")
                                   .arg(entry.trimmed().isEmpty() ? QStringLiteral("não gerado") : entry),
                               this);
    lblLancamento->setObjectName(QStringLiteral("lblLancamento"));
    layout->addWidget(lblEmpresa);
    layout->addWidget(lblLancamento);
    layout->addWidget(grid(QStringLiteral("Lançamentos contábeis"), cdsLancContTemp, "dbgLancContTemp"), 2);
    layout->addWidget(grid(QStringLiteral("Rateio"), cdsRateio, "dbgRateio"), 2);
    layout->addWidget(grid(QStringLiteral("Erros de contabilização"), cdsErrosTemp, "dbgErrosTemp"), 1);
    auto *close = new QPushButton(QStringLiteral("Fechar"), this);
    close->setObjectName(QStringLiteral("btnFechar"));
    connect(close, &QPushButton::clicked, this, &AccountingScreen::Close);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(720, 520);
}

QWidget *AccountingScreen::grid(const QString &title, ClientDataSet &dataSet, const char *name) {
    auto *box = new QGroupBox(QStringLiteral("%1 (%2)").arg(title).arg(dataSet.RecordCount()), this);
    auto *view = new QTableView(box);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(new DataSetModel(&dataSet, view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    (new QVBoxLayout(box))->addWidget(view);
    return box;
}

} // namespace bco::host
