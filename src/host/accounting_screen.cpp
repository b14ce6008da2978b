#include "host/accounting_screen.h"

#include <algorithm>
#include <stdexcept>

#include <QGroupBox>
#include <QHash>
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

// What the bank module's accounting errors mean (their codes, as the server answers them).
QString errorMeaning(const QString &code) {
    if (code == u"001")
        return QStringLiteral("conta contábil não cadastrada");
    if (code == u"002")
        return QStringLiteral("conta contábil não aceita lançamentos (conta sintética)");
    if (code == u"003")
        return QStringLiteral("centro de custo obrigatório não informado");
    if (code == u"004")
        return QStringLiteral("data fora de um período contábil aberto da empresa");
    if (code == u"005")
        return QStringLiteral("rateio do tipo entre as filiais não soma 100%");
    return QStringLiteral("erro não descrito");
}

// What the errors mean, each meaning once in the order first met, with how many rows carry it: an import of
// thousands of entries outside the open period answers as many rows of one error, and a line for each
// pushed the screen's close button out of reach.
QString errorSummary(const DataPacket &errors) {
    if (errors.fieldIndex(u"CDERROTEMP") < 0)
        return {};
    const bool numbered = errors.fieldIndex(u"NRSEQCTBTEMP") >= 0;
    QStringList meanings;
    QHash<QString, int> rowsOf;
    for (int row = 0; row < errors.rowCount(); ++row) {
        const QString code = errors.value(row, u"CDERROTEMP").toText();
        const QString line = numbered ? errors.value(row, u"NRSEQCTBTEMP").toText() : QString();
        const QString meaning =
            QStringLiteral("%1%2: %3")
                .arg(code,
                     line.isEmpty() || line == u"0" ? QString() : QStringLiteral(" (linha %1)").arg(line),
                     errorMeaning(code));
        if (rowsOf[meaning]++ == 0)
            meanings << meaning;
    }
    constexpr int MostShown = 12;
    QStringList shown;
    for (const QString &meaning : meanings.first(std::min<qsizetype>(meanings.size(), MostShown))) {
        const int count = rowsOf.value(meaning);
        shown << (count > 1 ? QStringLiteral("%1 (%2 vezes)").arg(meaning).arg(count) : meaning);
    }
    if (meanings.size() > MostShown)
        shown
            << QStringLiteral("e mais %1 erros diferentes, na lista acima.").arg(meanings.size() - MostShown);
    return shown.join(u'\n');
}

// The accounting entry `number` as the shared database holds it, in the layouts of the packets the bank
// module hands over: what the screen shows when it is opened for an entry already accounted.
std::pair<DataPacket, DataPacket> storedEntry(const QString &number) {
    using Kind = FieldKind;
    const auto fields = [](std::initializer_list<std::pair<const char *, Kind>> names) {
        FieldDefs defs;
        for (const auto &[name, kind] : names) {
            FieldDef def;
            def.name = QString::fromLatin1(name);
            def.kind = kind;
            def.size = kind == Kind::Text ? 200 : 0;
            defs.append(def);
        }
        return defs;
    };
    DataPacket lines(fields({{"CDEMPRESA", Kind::Text},
                             {"CDCONTREDU", Kind::Text},
                             {"NMCONTCTBL", Kind::Text},
                             {"NRLANCCTBTEMP", Kind::Text},
                             {"NRSEQCTBTEMP", Kind::Text},
                             {"CDCONTCTBL", Kind::Text},
                             {"CDHISTPADR", Kind::Text},
                             {"DSHISTCTB", Kind::Text},
                             {"DTLANCCTBTEMP", Kind::Date},
                             {"VRLANCCTBTEMP", Kind::Float},
                             {"IDLANCCTBCOME", Kind::Text},
                             {"CDLANCCTBCOME", Kind::Text},
                             {"NMEMPRESA", Kind::Text},
                             {"CDDOCUCONT", Kind::Text}}));
    DataPacket shares(fields({{"CDFILIAL", Kind::Text},
                              {"NMFILIAL", Kind::Text},
                              {"CDCENTCUST", Kind::Text},
                              {"NMCENTCUST", Kind::Text},
                              {"VRLANCCUST", Kind::Float},
                              {"NRSEQCTBTEMP", Kind::Text},
                              {"NRLANCCTBTEMP", Kind::Text},
                              {"DTCOMPCTBTEMP", Kind::Date},
                              {"CDEMPRESA", Kind::Text},
                              {"NRSEQRATTEMP", Kind::Text}}));
    if (!Session::installed() || Session::current().databaseConnection.isEmpty())
        return {lines, shares};
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(QStringLiteral(
        "SELECT L.CDEMPRESA, C.CDCONTREDU, C.NMCONTCTBL, I.NRSEQCTB, I.CDCONTCTBL, L.CDHISTPADR, "
        "L.DSHISTCTB, "
        "L.DTLANCCONT, CASE WHEN I.IDDEBCRED = 'D' THEN I.VRLANCCTB ELSE -I.VRLANCCTB END, I.IDLANCCTBCOME, "
        "I.CDLANCCTBCOME, E.NMEMPRESA, L.CDDOCUCONT FROM LANCCONTITEM I JOIN LANCCONT L ON L.NRLANCCONT = "
        "I.NRLANCCONT LEFT JOIN CONTCTBL C ON C.CDCONTCTBL = I.CDCONTCTBL LEFT JOIN EMPRESA E ON E.CDEMPRESA "
        "= "
        "L.CDEMPRESA WHERE I.NRLANCCONT = ? ORDER BY I.NRSEQCTB"));
    query.addBindValue(number);
    if (query.exec()) {
        while (query.next())
            lines.appendValues(
                {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(), number,
                 query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
                 query.value(6).toString(), query.value(7).toDate(), query.value(8).toLongLong() / 100.0,
                 query.value(9).toString(), query.value(10).toString(), query.value(11).toString(),
                 query.value(12).toString()});
    }
    query.prepare(QStringLiteral(
        "SELECT R.CDFILIAL, F.NMFILIAL, R.CDCENTCUST, CC.NMCENTCUST, R.VRLANCCUST, R.NRSEQCTB, L.DTLANCCONT, "
        "L.CDEMPRESA, R.NRSEQRAT FROM RATEIOCTB R JOIN LANCCONT L ON L.NRLANCCONT = R.NRLANCCONT LEFT JOIN "
        "FILIAL "
        "F ON F.CDFILIAL = R.CDFILIAL LEFT JOIN CENTCUST CC ON CC.CDCENTCUST = R.CDCENTCUST WHERE "
        "R.NRLANCCONT = ? "
        "ORDER BY R.NRSEQCTB, R.NRSEQRAT"));
    query.addBindValue(number);
    if (query.exec()) {
        while (query.next())
            shares.appendValues(
                {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                 query.value(3).toString(), query.value(4).toLongLong() / 100.0, query.value(5).toString(),
                 number, query.value(6).toDate(), query.value(7).toString(), query.value(8).toString()});
    }
    return {lines, shares};
}

// A column of the screen: the field it shows and its caption, as the bank module declares the field. A field
// without a caption here is not shown: the temporary entry and sequence numbers mean nothing to the operator,
// and the company's name is in the heading. A field the table does not name is shown under its own name.
struct Column {
    const char16_t *field;
    const char *caption;
};

const Column accountingColumns[] = {
    {u"CDEMPRESA", "Empresa"},    {u"CDCONTREDU", "C. Reduzido"},
    {u"NMCONTCTBL", "Nome"},      {u"NRLANCCTBTEMP", nullptr},
    {u"NRSEQCTBTEMP", nullptr},   {u"CDCONTCTBL", "Conta Contábil"},
    {u"CDHISTPADR", "Histórico"}, {u"DSHISTCTB", "Descrição do Histórico"},
    {u"DTLANCCTBTEMP", "Data"},   {u"VRLANCCTBTEMP", "Valor"},
    {u"IDLANCCTBCOME", nullptr},  {u"CDLANCCTBCOME", "C. Comercial"},
    {u"NMEMPRESA", nullptr},      {u"CDDOCUCONT", nullptr},
};

const Column apportionmentColumns[] = {
    {u"CDFILIAL", "Filial"},     {u"NMFILIAL", "Nome da Filial"},
    {u"CDCENTCUST", "C. Custo"}, {u"NMCENTCUST", "Nome do Centro de Custo"},
    {u"VRLANCCUST", "Valor"},    {u"NRSEQCTBTEMP", nullptr},
    {u"NRLANCCTBTEMP", nullptr}, {u"DTCOMPCTBTEMP", "Data"},
    {u"CDEMPRESA", "Empresa"},   {u"NRSEQRATTEMP", nullptr},
};

const Column errorColumns[] = {
    {u"CDERROTEMP", "Erro"},
    {u"NRSEQCTBTEMP", "Linha"},
};

template <std::size_t N> void showColumns(ClientDataSet &dataSet, const Column (&columns)[N]) {
    for (const Column &column : columns) {
        Field *field = dataSet.FindField(column.field);
        if (field == nullptr)
            continue;
        field->SetVisible(column.caption != nullptr);
        if (column.caption != nullptr)
            field->SetDisplayLabel(QString::fromUtf8(column.caption));
    }
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
    }
    // Opened for an entry already accounted, with nothing of its own to show: the entry as it was written.
    if (!entry.trimmed().isEmpty() && cdsLancContTemp.IsEmpty() && cdsRateio.IsEmpty() &&
        cdsErrosTemp.IsEmpty()) {
        const auto [lines, shares] = storedEntry(entry.trimmed());
        cdsLancContTemp.SetData(lines);
        cdsRateio.SetData(shares);
    }
    for (ClientDataSet *dataSet : {&cdsLancContTemp, &cdsRateio, &cdsErrosTemp}) {
        // Amounts show with two decimals, as everywhere else.
        for (Field *field : dataSet->Fields())
            if (field->Kind() == FieldKind::Float && field->DisplayFormat().isEmpty())
                field->SetDisplayFormat(QStringLiteral("#,##0.00"));
    }

    showColumns(cdsLancContTemp, accountingColumns);
    showColumns(cdsRateio, apportionmentColumns);
    showColumns(cdsErrosTemp, errorColumns);

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
    lblErros = new QLabel(errorSummary(cdsErrosTemp.Active() ? cdsErrosTemp.Data() : DataPacket()), this);
    lblErros->setObjectName(QStringLiteral("lblErros"));
    layout->addWidget(lblErros);
    auto *close = new QPushButton(QStringLiteral("Fechar"), this);
    close->setObjectName(QStringLiteral("btnFechar"));
    connect(close, &QPushButton::clicked, this, &AccountingScreen::Close);
    ButtonKeys(close, {QKeySequence(Qt::Key_Escape)});
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
    // Tab goes on to the next grid and to "Fechar", as in every grid of the system.
    view->setTabKeyNavigation(false);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    (new QVBoxLayout(box))->addWidget(view);
    return box;
}

} // namespace bco::host
