#include "framework/ui/report/report_design_editor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPixmap>

#include "framework/ui/event_guard.h"

#include "ui_report_design_editor.h"

namespace bco {

namespace {

enum ColumnField { ColField, ColCaption, ColWidth, ColFormat, ColAlignment, ColAggregate };
enum GroupField { GroupFieldName, GroupHeader, GroupFooter, GroupNewPage };

// Header lines of a group share one cell, parted by this.
const QString lineSeparator = QStringLiteral(" | ");

QString cell(const QTableWidget *table, int row, int column) {
    const QTableWidgetItem *item = table->item(row, column);
    return item != nullptr ? item->text() : QString();
}

void setCell(QTableWidget *table, int row, int column, const QString &text) {
    table->setItem(row, column, new QTableWidgetItem(text));
}

// A cell whose value is one of a few names, chosen in a list.
void setChoice(QTableWidget *table, int row, int column, const QStringList &names, const QString &current) {
    auto *choice = new QComboBox(table);
    choice->addItems(names);
    choice->setCurrentText(current);
    table->setCellWidget(row, column, choice);
}

QString choice(const QTableWidget *table, int row, int column) {
    const auto *box = qobject_cast<const QComboBox *>(table->cellWidget(row, column));
    return box != nullptr ? box->currentText() : QString();
}

const QStringList formatNames = {formatName(ReportFormat::Text), formatName(ReportFormat::Date),
                                 formatName(ReportFormat::Money), formatName(ReportFormat::Integer)};
const QStringList alignmentNames = {alignmentName(ReportAlignment::Left),
                                    alignmentName(ReportAlignment::Center),
                                    alignmentName(ReportAlignment::Right)};
const QStringList aggregateNames = {aggregateName(ReportAggregate::None), aggregateName(ReportAggregate::Sum),
                                    aggregateName(ReportAggregate::Last)};

void setColumnRow(QTableWidget *table, int row, const ReportColumn &column) {
    setCell(table, row, ColField, column.field);
    setCell(table, row, ColCaption, column.caption);
    setCell(table, row, ColWidth, QString::number(column.width));
    setChoice(table, row, ColFormat, formatNames, formatName(column.format));
    setChoice(table, row, ColAlignment, alignmentNames, alignmentName(column.alignment));
    setChoice(table, row, ColAggregate, aggregateNames, aggregateName(column.aggregate));
}

ReportColumn columnRow(const QTableWidget *table, int row) {
    bool ok = false;
    const double width = cell(table, row, ColWidth).trimmed().replace(u',', u'.').toDouble(&ok);
    return {cell(table, row, ColField).trimmed().toUpper(),
            cell(table, row, ColCaption),
            ok ? width : 0.0,
            formatFromName(choice(table, row, ColFormat)),
            alignmentFromName(choice(table, row, ColAlignment)),
            aggregateFromName(choice(table, row, ColAggregate))};
}

void setGroupRow(QTableWidget *table, int row, const ReportGroup &group) {
    setCell(table, row, GroupFieldName, group.field);
    setCell(table, row, GroupHeader, group.header.join(lineSeparator));
    setCell(table, row, GroupFooter, group.footer);
    auto *newPage = new QTableWidgetItem;
    newPage->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    newPage->setCheckState(group.newPage ? Qt::Checked : Qt::Unchecked);
    table->setItem(row, GroupNewPage, newPage);
}

ReportGroup groupRow(const QTableWidget *table, int row) {
    QStringList header;
    for (const QString &line : cell(table, row, GroupHeader).split(u'|'))
        if (!line.trimmed().isEmpty())
            header << line.trimmed();
    const QTableWidgetItem *newPage = table->item(row, GroupNewPage);
    return {cell(table, row, GroupFieldName).trimmed().toUpper(), header,
            cell(table, row, GroupFooter).trimmed(),
            newPage != nullptr && newPage->checkState() == Qt::Checked};
}

QStringList lines(const QPlainTextEdit *edit) {
    QStringList kept = edit->toPlainText().split(u'\n');
    while (!kept.isEmpty() && kept.last().trimmed().isEmpty())
        kept.removeLast();
    return kept;
}

} // namespace

ReportDesignEditor::ReportDesignEditor(const QString &title, const ReportDesign &design, Previewer previewer,
                                       QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::frmEditaRelatorio>())
    , previewer_(std::move(previewer)) {
    ui->setupUi(this);
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + title);
    for (QTableWidget *table : {ui->tblColunas, ui->tblGrupos})
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    load(design);

    connectGuarded(ui->btnSalvar, &QPushButton::clicked, this, [this](bool) { Save(); });
    connectGuarded(ui->btnCancelar, &QPushButton::clicked, this, [this](bool) { close(); });
    connectGuarded(ui->btnVisualizar, &QPushButton::clicked, this, [this](bool) { ShowPreview(); });
    connectGuarded(ui->btnIncluirColuna, &QPushButton::clicked, this, [this](bool) { AddColumn(); });
    connectGuarded(ui->btnExcluirColuna, &QPushButton::clicked, this, [this](bool) { RemoveColumn(); });
    connectGuarded(ui->btnSubirColuna, &QPushButton::clicked, this, [this](bool) { MoveColumn(-1); });
    connectGuarded(ui->btnDescerColuna, &QPushButton::clicked, this, [this](bool) { MoveColumn(1); });
    connectGuarded(ui->btnIncluirGrupo, &QPushButton::clicked, this, [this](bool) { AddGroup(); });
    connectGuarded(ui->btnExcluirGrupo, &QPushButton::clicked, this, [this](bool) { RemoveGroup(); });
    connectGuarded(ui->cbbDialeto, &QComboBox::currentIndexChanged, this, [this](int) {
        keepQueryText();
        showQueryText();
    });
}

ReportDesignEditor::~ReportDesignEditor() = default;

void ReportDesignEditor::load(const ReportDesign &design) {
    queryTexts_ = {design.sql, design.sqlOracle, design.sqlMsSql, design.sqlInterBase};
    shownDialect_ = 0;
    ui->cbbDialeto->setCurrentIndex(0);
    showQueryText();

    ui->tblColunas->setRowCount(static_cast<int>(design.columns.size()));
    for (std::size_t row = 0; row < design.columns.size(); ++row)
        setColumnRow(ui->tblColunas, static_cast<int>(row), design.columns[row]);
    ui->tblGrupos->setRowCount(static_cast<int>(design.groups.size()));
    for (std::size_t row = 0; row < design.groups.size(); ++row)
        setGroupRow(ui->tblGrupos, static_cast<int>(row), design.groups[row]);

    ui->chkPaisagem->setChecked(design.landscape);
    ui->spnFonte->setValue(design.fontSize);
    ui->edtEmpresa->setText(design.pageCompany);
    ui->memCabecalho->setPlainText(design.pageHeader.join(u'\n'));
    ui->edtRodape->setText(design.pageFooter);
    ui->edtTotal->setText(design.totalCaption);
}

void ReportDesignEditor::keepQueryText() {
    queryTexts_[static_cast<std::size_t>(shownDialect_)] = lines(ui->memConsulta);
}

void ReportDesignEditor::showQueryText() {
    shownDialect_ = qMax(0, ui->cbbDialeto->currentIndex());
    ui->memConsulta->setPlainText(queryTexts_[static_cast<std::size_t>(shownDialect_)].join(u'\n'));
}

ReportDesign ReportDesignEditor::EditedDesign() const {
    ReportDesign design;
    std::array<QStringList, 4> texts = queryTexts_;
    texts[static_cast<std::size_t>(shownDialect_)] = lines(ui->memConsulta);
    design.sql = texts[0];
    design.sqlOracle = texts[1];
    design.sqlMsSql = texts[2];
    design.sqlInterBase = texts[3];
    for (int row = 0; row < ui->tblColunas->rowCount(); ++row)
        design.columns.push_back(columnRow(ui->tblColunas, row));
    for (int row = 0; row < ui->tblGrupos->rowCount(); ++row)
        design.groups.push_back(groupRow(ui->tblGrupos, row));
    design.landscape = ui->chkPaisagem->isChecked();
    design.fontSize = ui->spnFonte->value();
    design.pageCompany = ui->edtEmpresa->text().trimmed();
    design.pageHeader = lines(ui->memCabecalho);
    design.pageFooter = ui->edtRodape->text();
    design.totalCaption = ui->edtTotal->text();
    design.validate();
    return design;
}

void ReportDesignEditor::Save() {
    EditedDesign();
    saved_ = true;
    close();
}

void ReportDesignEditor::ShowPreview() {
    const int width = qMax(400, ui->scrPrevia->viewport()->width() - 8);
    ui->lblPrevia->setPixmap(QPixmap::fromImage(previewer_(EditedDesign(), width)));
}

void ReportDesignEditor::AddColumn() {
    const int row = ui->tblColunas->currentRow() + 1;
    ui->tblColunas->insertRow(row);
    setColumnRow(ui->tblColunas, row, ReportColumn{});
    ui->tblColunas->setCurrentCell(row, ColField);
}

void ReportDesignEditor::RemoveColumn() {
    if (ui->tblColunas->currentRow() >= 0)
        ui->tblColunas->removeRow(ui->tblColunas->currentRow());
}

void ReportDesignEditor::MoveColumn(int step) {
    const int from = ui->tblColunas->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= ui->tblColunas->rowCount())
        return;
    const ReportColumn moving = columnRow(ui->tblColunas, from);
    const ReportColumn other = columnRow(ui->tblColunas, to);
    setColumnRow(ui->tblColunas, from, other);
    setColumnRow(ui->tblColunas, to, moving);
    ui->tblColunas->setCurrentCell(to, ui->tblColunas->currentColumn());
}

void ReportDesignEditor::AddGroup() {
    const int row = ui->tblGrupos->rowCount();
    ui->tblGrupos->insertRow(row);
    setGroupRow(ui->tblGrupos, row, ReportGroup{});
    ui->tblGrupos->setCurrentCell(row, GroupFieldName);
}

void ReportDesignEditor::RemoveGroup() {
    if (ui->tblGrupos->currentRow() >= 0)
        ui->tblGrupos->removeRow(ui->tblGrupos->currentRow());
}

} // namespace bco
