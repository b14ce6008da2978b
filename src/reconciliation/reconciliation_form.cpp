#include "reconciliation/reconciliation_form.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QTableWidget>

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/file_dialogs.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/host_frame.h"
#include "reconciliation/day_marks.h"
#include "reconciliation/reconciliation_messages.h"
#include "statement_model/statement_calls.h"
#include "statements/bank_statement.h"

#include "ui_reconciliation_form.h"

namespace Cli_bco11105 {

QPointer<TfrmConciliacao> frmConciliacao;
bool boIdCriado = false;

namespace {

// The press or the key that opens a combo box's list.
bool opensTheList(const QEvent &event) {
    if (event.type() == QEvent::MouseButtonPress)
        return static_cast<const QMouseEvent &>(event).button() == Qt::LeftButton;
    if (event.type() != QEvent::KeyPress)
        return false;
    const auto &key = static_cast<const QKeyEvent &>(event);
    return key.key() == Qt::Key_F4 || key.key() == Qt::Key_Space ||
           ((key.key() == Qt::Key_Down || key.key() == Qt::Key_Up) &&
            key.modifiers().testFlag(Qt::AltModifier));
}

const QString statementFilter = QStringLiteral(
    "Extratos (*.ofx *.ret *.txt *.cnab);;OFX (*.ofx);;CNAB 240 (*.ret *.txt *.cnab);;Todos (*)");

// A day's balances are plotted at its noon, so that a mark on the day stands under its point.
const QTime PlottedTime(12, 0);
// As many days as the axis labels, at most.
constexpr int MostDayMarks = 8;

QString money(qint64 cents, QChar kind) {
    const QString text = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(cents / 100.0, 'f', 2);
    return kind == u'D' ? QStringLiteral("-") + text : text;
}

QString day(const QDate &date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QVariant centsOrNull(const bco::Variant &amount) {
    return amount.isNull() ? QVariant()
                           : QVariant(static_cast<qlonglong>(std::llround(amount.toFloat() * 100.0)));
}

void fill(QTableWidget *grid, int row, const QStringList &cells) {
    for (int column = 0; column < cells.size(); ++column)
        grid->setItem(row, column, new QTableWidgetItem(cells[column]));
}

// Runs a statement call, showing the server's words as an error of the form.
template <class Call> auto serverCall(Call call) {
    try {
        return call();
    } catch (const bco::StatementCallError &error) {
        Consiste::MensErro(error.message(), true);
        throw;
    }
}

} // namespace

TfrmConciliacao::TfrmConciliacao(QWidget *parent)
    : TfrmPadrImportExport(DescendantLayout{}, parent)
    , ui(std::make_unique<Ui::frmConciliacao>()) {
    AddReconciliationMessages(msgPadrao);
    ui->setupUi(this);
    BindFrame();
    setWindowTitle(QStringLiteral("Conciliação Bancária"));

    ui->grdLinhas->setColumnCount(7);
    ui->grdLinhas->setHorizontalHeaderLabels({QStringLiteral("Data"), QStringLiteral("Valor"),
                                              QStringLiteral("Documento"), QStringLiteral("Descrição"),
                                              QStringLiteral("Situação"), QStringLiteral("Proposta"),
                                              QStringLiteral("Aceita")});
    ui->grdMovimentos->setColumnCount(5);
    ui->grdMovimentos->setHorizontalHeaderLabels({QStringLiteral("Movimento"), QStringLiteral("Data"),
                                                  QStringLiteral("Valor"), QStringLiteral("Documento"),
                                                  QStringLiteral("Descrição")});
    // Widths fixed by column rather than measured: measuring reads every row, and a month may hold thousands.
    const auto widths = [](QTableWidget *grid, std::initializer_list<int> columns) {
        grid->verticalHeader()->setVisible(false);
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
        grid->setWordWrap(false);
        // Tab goes on to the next control, as in every grid of the system: within the grid it would choose
        // another line for the commands, and leave the rest of the screen out of the keys' reach.
        grid->setTabKeyNavigation(false);
        grid->horizontalHeader()->setStretchLastSection(true);
        int column = 0;
        for (int width : columns)
            grid->setColumnWidth(column++, width);
    };
    widths(ui->grdLinhas, {80, 90, 80, 190, 75, 110, 110});
    widths(ui->grdMovimentos, {85, 80, 90, 80, 190});

    // Each command has its key, so that the statement is worked from the keyboard as well as the mouse.
    const auto command = [this](QToolButton *button, const QKeySequence &keys,
                                void (TfrmConciliacao::*work)()) {
        auto *action = new QAction(button->text(), this);
        action->setShortcut(keys);
        BindCommand(button, action);
        OnClick(action, [this, work] { (this->*work)(); });
    };
    command(ui->sbtAceitar, QKeySequence(Qt::CTRL | Qt::Key_E), &TfrmConciliacao::AceitarClick);
    command(ui->sbtRejeitar, QKeySequence(Qt::CTRL | Qt::Key_R), &TfrmConciliacao::RejeitarClick);
    command(ui->sbtParear, QKeySequence(Qt::CTRL | Qt::Key_P), &TfrmConciliacao::ParearClick);
    command(ui->sbtConciliar, QKeySequence(Qt::CTRL | Qt::Key_S), &TfrmConciliacao::ConciliarClick);
    command(ui->sbtIncluirLanc, QKeySequence(Qt::CTRL | Qt::Key_I), &TfrmConciliacao::IncluirLancClick);
    command(ui->sbtDesfazer, QKeySequence(Qt::CTRL | Qt::Key_Z), &TfrmConciliacao::DesfazerClick);
    // A double click on a line accepts its proposal; on a movement, pairs the line with the movements chosen.
    bco::connectGuarded(ui->grdLinhas, &QTableWidget::cellDoubleClicked, this, [this](int, int) {
        // Only the line's own proposal: the command without one accepts every decided proposal, which a
        // double click on another line must not do unseen.
        const int line = selectedLine();
        if (line >= 0 && board_.proposal(line) != nullptr && board_.accepted(line).isEmpty())
            AceitarClick();
    });
    bco::connectGuarded(ui->grdMovimentos, &QTableWidget::cellDoubleClicked, this,
                        [this](int, int) { ParearClick(); });

    chart_ = new QChartView(new QChart(), ui->panGrafico);
    chart_->setObjectName(QStringLiteral("chvSaldos"));
    chart_->setRenderHint(QPainter::Antialiasing);
    ui->layGrafico->insertWidget(0, chart_, 1);

    bco::FocusTracker::instance().setExitHandler(ui->medCdRedu, [this] { Vd_CdRedu(); });
    bco::connectGuarded(ui->cbxExtrato, &QComboBox::activated, this, [this](int) { EscolheExtrato(); });
    ui->cbxExtrato->installEventFilter(this);
    for (QTableWidget *grid : {ui->grdLinhas, ui->grdMovimentos})
        grid->viewport()->installEventFilter(this);
}

TfrmConciliacao::~TfrmConciliacao() = default;

void TfrmConciliacao::FormCreate() {
    TfrmPadrImportExport::FormCreate();
    netLancContCorr.SetBeforeConnect(
        [](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
    netLancContCorr.Open();
    sbtImportExport->setEnabled(false);
}

// Back from another window (the entry form's include among them), the statement is listed again: what was
// written meanwhile is proposed, and what the operator accepted and nobody touched since is kept.
void TfrmConciliacao::FormActivate() {
    if (account_.isEmpty())
        return;
    const QString shown = shownStatement_;
    const int accepted = board_.acceptedLines();
    const QStringList lines = shownLines_, movements = shownMovements_;
    ListaExtratos(ui->cbxExtrato->currentData().toList().value(0).toString());
    // A pair another operator's write made stale is dropped; said now, not when "Conciliar" finds less to
    // write than the operator accepted.
    if (shownStatement_ == shown && carried_ < accepted)
        bco::Dialogs::messages().show(
            bco::MsgKind::Information,
            msgPadrao.Msg(QStringLiteral("Aceitos_Descartados")).arg(accepted - carried_), bco::MsgButton::Ok,
            QStringLiteral("Aceitos_Descartados"));
    // Counted from now: the click that brought the window back waits while a message is shown.
    if (shownLines_ != lines || shownMovements_ != movements)
        rowsMovedUnderThePointer_.setRemainingTime(QApplication::doubleClickInterval());
}

// Pairs accepted are the operator's decisions, kept only on this screen until "Conciliar" writes them.
bool TfrmConciliacao::FormCloseQuery() {
    return MayDropAcceptedPairs(QStringLiteral("Aceitos_Pendentes"));
}

// Whether the operator lets the pairs accepted and not reconciled go, asked with the catalogue's `key`; true
// when there are none.
bool TfrmConciliacao::MayDropAcceptedPairs(const QString &key) const {
    const int accepted = board_.acceptedLines();
    return accepted == 0 || bco::Dialogs::messages().show(
                                bco::MsgKind::Confirmation, msgPadrao.Msg(key).arg(accepted),
                                bco::MsgButton::Yes | bco::MsgButton::No, key) == bco::MsgButton::Yes;
}

void TfrmConciliacao::FormClose(bco::TCloseAction &action) {
    boIdCriado = false;
    netLancContCorr.Close();
    TfrmPadrImportExport::FormClose(action);
}

void TfrmConciliacao::Vd_CdRedu() {
    const QString code = Consiste::Ajusta(ui->medCdRedu->text(), 3);
    if (code.trimmed().isEmpty() || code == account_)
        return;
    ui->medCdRedu->setText(code);
    const QList<bco::RegisteredAccount> accounts =
        bco::operatorAccounts([] { return dtmDBGeral::adcGeral(); }, Ondrima::Operador());
    const auto found =
        std::find_if(accounts.begin(), accounts.end(),
                     [&](const bco::RegisteredAccount &account) { return account.code == code; });
    if (found == accounts.end()) {
        ui->medCdRedu->setFocus();
        msgPadrao.ShowMsg(QStringLiteral("ContCorr_NCAD"), bco::MsgKind::Error, bco::MsgButton::Ok);
        throw Consiste::EAbort();
    }
    if (!MayDropAcceptedPairs(QStringLiteral("Aceitos_Trocar"))) {
        ui->medCdRedu->setText(account_);
        throw Consiste::EAbort();
    }
    account_ = code;
    ui->lblDsConta->setText(
        msgPadrao.Msg(QStringLiteral("Conta_Desc")).arg(found->bank, found->shownAgency, found->shownNumber));
    sbtImportExport->setEnabled(true);
    // Nothing of the other account's statement stays on the screen, not even its row chosen, should this
    // account's statements fail to come.
    ui->cbxExtrato->clear();
    CarregaExtrato();
    ListaExtratos(QString());
}

void TfrmConciliacao::ListaExtratos(const QString &chosen) {
    PreencheExtratos();
    const int at = indexOfStatement(chosen);
    ui->cbxExtrato->setCurrentIndex(at < 0 ? ui->cbxExtrato->count() - 1 : at);
    CarregaExtrato();
}

// The account's statements as the server lists them now, each with its counts and the books' balance.
void TfrmConciliacao::PreencheExtratos() {
    const bco::Variant answer = Consiste::CheckResultServ(
        netLancContCorr.Call(QStringLiteral("GetExtratos"), bco::VariantList{account_}));
    ui->cbxExtrato->clear();
    if (answer.isPacket()) {
        const bco::DataPacket &statements = answer.packet();
        for (int row = 0; row < statements.rowCount(); ++row) {
            const auto field = [&](const char *name) {
                return statements.value(row, QString::fromLatin1(name));
            };
            const QString number = field("CDSEQUEXBA").toText();
            ui->cbxExtrato->addItem(
                msgPadrao.Msg(QStringLiteral("Extrato_Item"))
                    .arg(number, day(field("DTINIEXTR").toDate()), day(field("DTFIMEXTR").toDate()),
                         QString::number(field("QTCONCILIADAS").toInt()),
                         QString::number(field("QTLINHAS").toInt())),
                QVariantList{number, field("DTINIEXTR").toDate(), field("DTFIMEXTR").toDate(),
                             centsOrNull(field("VRSALDINIC")), centsOrNull(field("VRSALDFINA")),
                             centsOrNull(field("VRLIVROINIC"))});
        }
    }
}

// The list is filled anew as it opens, so that a statement another operator stored since shows among the
// others; the statement shown stays chosen.
bool TfrmConciliacao::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == ui->grdLinhas->viewport() || watched == ui->grdMovimentos->viewport()) &&
        !rowsMovedUnderThePointer_.hasExpired() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick ||
         event->type() == QEvent::MouseButtonRelease))
        return true;
    if (watched == ui->cbxExtrato && !account_.isEmpty() && opensTheList(*event))
        bco::runGuarded([this] {
            const QString shown = ui->cbxExtrato->currentData().toList().value(0).toString();
            PreencheExtratos();
            const int at = indexOfStatement(shown);
            ui->cbxExtrato->setCurrentIndex(at < 0 ? indexOfStatement(shownStatement_) : at);
        });
    return TfrmPadrImportExport::eventFilter(watched, event);
}

// The statements are listed again with the one picked: the books' balances and the counts each item keeps
// are those of when the list was made, and other operators write meanwhile.
void TfrmConciliacao::EscolheExtrato() {
    const QString picked = ui->cbxExtrato->currentData().toList().value(0).toString();
    // The pairs of one statement do not carry over to another.
    if (picked != shownStatement_ && !MayDropAcceptedPairs(QStringLiteral("Aceitos_Trocar"))) {
        ChoiceOnShownStatement();
        return;
    }
    try {
        ListaExtratos(picked);
    } catch (...) {
        ChoiceOnShownStatement();
        throw;
    }
}

// The lists still show the statement they showed after a failure: so does the choice, which the screen
// lists again by.
void TfrmConciliacao::ChoiceOnShownStatement() {
    const int shown = indexOfStatement(shownStatement_);
    if (shown >= 0)
        ui->cbxExtrato->setCurrentIndex(shown);
}

int TfrmConciliacao::indexOfStatement(const QString &statement) const {
    for (int i = 0; !statement.isEmpty() && i < ui->cbxExtrato->count(); ++i)
        if (ui->cbxExtrato->itemData(i).toList().value(0).toString() == statement)
            return i;
    return -1;
}

void TfrmConciliacao::CarregaExtrato() {
    const QVariantList chosen = ui->cbxExtrato->currentData().toList();
    if (chosen.size() != 6) {
        shownStatement_.clear();
        board_ = bco::ReconciliationBoard();
        balances_.clear();
        MostraQuadro();
        MostraGrafico();
        return;
    }
    // What the operator accepted or rejected and nobody has touched since survives the screen's listing
    // again, after a refused call or an undoing: it would otherwise have to be done over.
    bco::ReconciliationBoard loaded;
    QMap<QDate, qint64> storedElsewhere;
    const QDate from = chosen[1].toDate(), to = chosen[2].toDate();
    try {
        loaded = serverCall(
            [&] { return bco::loadBoard(netLancContCorr, account_, chosen[0].toString(), from, to); });
        // The lines of the period that the account's earlier statements hold, which this one, overlapping
        // them, did not store again. Only a statement stored before this one can hold a line of its file:
        // the lines of one stored later (another day's file, or a bank's late posting) are not this file's.
        QStringList overlapping;
        for (int i = 0; i < ui->cbxExtrato->count(); ++i) {
            const QVariantList other = ui->cbxExtrato->itemData(i).toList();
            if (other.value(0).toLongLong() < chosen[0].toLongLong() && other.value(2).toDate() >= from &&
                other.value(1).toDate() <= to)
                overlapping.append(other.value(0).toString());
        }
        if (!overlapping.isEmpty())
            storedElsewhere = serverCall([&] {
                return bco::linesOfOtherStatements(netLancContCorr, account_, overlapping, from, to);
            });
    } catch (...) {
        ChoiceOnShownStatement();
        throw;
    }
    shownStatement_ = chosen[0].toString();
    const bco::ReconciliationBoard earlier = std::exchange(board_, std::move(loaded));
    carried_ = board_.carryDecisions(earlier);
    const auto cents = [](const QVariant &value) {
        return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
    };
    balances_ = bco::dailyBalances(board_, from, to, cents(chosen[3]), cents(chosen[4]),
                                   chosen[5].toLongLong(), storedElsewhere);
    MostraQuadro();
    MostraGrafico();
}

void TfrmConciliacao::MostraQuadro() {
    // The line chosen stays chosen by what it is, not by its row: the lines listed again may be another
    // statement's, or have moved.
    const QString chosen = shownLines_.value(ui->grdLinhas->currentRow());
    shownLines_.clear();
    ui->grdLinhas->setRowCount(0);
    ui->grdLinhas->setRowCount(static_cast<int>(board_.lines().size()));
    int proposed = 0;
    for (int row = 0; row < board_.lines().size(); ++row) {
        const bco::BoardLine &line = board_.lines()[row];
        const bco::BoardProposal *proposal = board_.proposal(row);
        QString state =
            msgPadrao.Msg(line.reconciled ? QStringLiteral("Linha_Conc") : QStringLiteral("Linha_Aberta"));
        QString proposed_;
        if (!line.reconciled && proposal != nullptr) {
            proposed_ = proposal->movements.join(QStringLiteral(", "));
            if (proposal->decided)
                proposed_ += QStringLiteral(" ✓");
            ++proposed;
        }
        fill(ui->grdLinhas, row,
             {day(line.date), money(line.cents, line.kind), line.document, line.description, state, proposed_,
              board_.accepted(row).join(QStringLiteral(", "))});
        shownLines_.append(line.statement + u'/' + line.line);
    }
    // So do the movements chosen, by their numbers (the board may hold others at their places by now).
    QStringList chosenMovements;
    for (const QModelIndex &row : ui->grdMovimentos->selectionModel()->selectedRows())
        chosenMovements.append(shownMovements_.value(row.row()));
    listedMovements_ = board_.openMovements();
    shownMovements_.clear();
    for (const int movement : listedMovements_)
        shownMovements_.append(board_.movements()[movement].number);
    ui->grdMovimentos->setRowCount(0);
    ui->grdMovimentos->setRowCount(static_cast<int>(listedMovements_.size()));
    for (int row = 0; row < listedMovements_.size(); ++row) {
        const bco::BoardMovement &movement = board_.movements()[listedMovements_[row]];
        fill(ui->grdMovimentos, row,
             {movement.number, day(movement.date), money(movement.cents, movement.kind), movement.document,
              movement.description});
    }
    if (const qsizetype row = chosen.isEmpty() ? -1 : shownLines_.indexOf(chosen); row >= 0)
        ui->grdLinhas->setCurrentCell(static_cast<int>(row), 0);
    for (int row = 0; row < shownMovements_.size(); ++row)
        if (chosenMovements.contains(shownMovements_[row]))
            ui->grdMovimentos->selectionModel()->select(ui->grdMovimentos->model()->index(row, 0),
                                                        QItemSelectionModel::Select |
                                                            QItemSelectionModel::Rows);
    ui->lblSituacao->setText(msgPadrao.Msg(QStringLiteral("Quadro_Situacao"))
                                 .arg(board_.lines().size())
                                 .arg(proposed)
                                 .arg(board_.pendingPairings().size()));
}

void TfrmConciliacao::MostraGrafico() {
    auto *chart = new QChart();
    // Amounts on the value axis in the locale's notation, with their thousands separated ("256.059").
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *bank = new QLineSeries(chart);
    bank->setName(msgPadrao.Msg(QStringLiteral("Saldo_Banco")));
    auto *books = new QLineSeries(chart);
    books->setName(msgPadrao.Msg(QStringLiteral("Saldo_Livros")));
    auto *differ = new QScatterSeries(chart);
    differ->setName(msgPadrao.Msg(QStringLiteral("Dias_Diferentes")));
    differ->setColor(Qt::red);
    differ->setMarkerSize(9);
    for (const bco::DailyBalance &day : balances_) {
        const qreal x = QDateTime(day.day, PlottedTime).toMSecsSinceEpoch();
        books->append(x, day.books / 100.0);
        if (day.bank)
            bank->append(x, *day.bank / 100.0);
        if (day.differs())
            differ->append(x, *day.bank / 100.0);
    }
    for (QAbstractSeries *series : std::initializer_list<QAbstractSeries *>{bank, books, differ})
        chart->addSeries(series);
    auto *days = new QDateTimeAxis(chart);
    days->setFormat(QStringLiteral("dd/MM"));
    if (!balances_.isEmpty()) {
        // Left to itself the axis spaces its marks evenly over the period, between days as often as on them.
        const QDate first = balances_.first().day;
        const bco::DayMarks marks = bco::dayMarks(first, balances_.last().day, MostDayMarks);
        days->setRange(QDateTime(first, PlottedTime),
                       QDateTime(first.addDays(qint64(marks.step) * (marks.count - 1)), PlottedTime));
        days->setTickCount(marks.count);
    }
    auto *values = new QValueAxis(chart);
    // Whole reais: the axis only places the lines, and cents would crowd out the chart.
    values->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(days, Qt::AlignBottom);
    chart->addAxis(values, Qt::AlignLeft);
    for (QAbstractSeries *series : chart->series()) {
        series->attachAxis(days);
        series->attachAxis(values);
    }
    // Marks on round amounts rather than on the balances' own extremes, over both lines: the axis would
    // otherwise round a range it had not yet widened to the second line.
    if (!balances_.isEmpty()) {
        qint64 lowest = balances_.first().books, highest = lowest;
        for (const bco::DailyBalance &day : balances_)
            for (const std::optional<qint64> cents : {std::optional<qint64>(day.books), day.bank})
                if (cents) {
                    lowest = std::min(lowest, *cents);
                    highest = std::max(highest, *cents);
                }
        // A flat period still needs a span to round: a real on either side.
        if (lowest == highest) {
            lowest -= 100;
            highest += 100;
        }
        values->setRange(lowest / 100.0, highest / 100.0);
        values->applyNiceNumbers();
    }
    QChart *previous = chart_->chart();
    chart_->setChart(chart);
    delete previous;

    if (balances_.isEmpty() || !balances_.last().bank) {
        ui->lblDiferenca->setText(balances_.isEmpty() ? QString()
                                                      : msgPadrao.Msg(QStringLiteral("Sem_Saldo")));
        return;
    }
    const bco::DailyBalance &closing = balances_.last();
    ui->lblDiferenca->setText(msgPadrao.Msg(QStringLiteral("Dif_Fechamento"))
                                  .arg(day(closing.day), money(*closing.bank - closing.books, u'C'),
                                       money(*closing.bank, u'C'), money(closing.books, u'C')));
}

int TfrmConciliacao::selectedLine() const {
    return ui->grdLinhas->currentRow();
}

void TfrmConciliacao::sbtImportExportClick() {
    // The file goes to the account the field shows, typed last though not left: the button takes no focus.
    if (ui->medCdRedu->text().trimmed().isEmpty())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Conta_NI")), true);
    Vd_CdRedu();
    if (account_.isEmpty())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Conta_NI")), true);
    const std::optional<QString> chosen =
        bco::Dialogs::files().openFile(QStringLiteral("Extrato do banco"), QString(), statementFilter);
    if (!chosen)
        return;
    bco::BankStatement statement;
    try {
        statement = bco::readStatementFile(*chosen);
    } catch (const bco::StatementError &error) {
        Consiste::MensErro(error.message(), true);
    }
    // A file that names its account goes to that account only: a statement stored in the wrong account would
    // reconcile another account's movements.
    if (!statement.account.isEmpty()) {
        const QStringList named = bco::accountsNamedBy(
            statement.account,
            bco::operatorAccounts([] { return dtmDBGeral::adcGeral(); }, Ondrima::Operador()));
        if (!named.contains(account_))
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Extrato_Outra_Conta")).arg(account_), true);
    }
    const bco::StoreOutcome stored =
        serverCall([&] { return bco::storeStatement(netLancContCorr, account_, statement); });
    bco::Dialogs::messages().show(bco::MsgKind::Information, stored.message, bco::MsgButton::Ok, QString());
    // A file whose lines were all held already stored nothing: the screen stays on the statement it shows,
    // with what the operator accepted there; so it does when the operator keeps those pairs rather than see
    // the statement stored, which the list offers.
    const bool stay = stored.statement.isEmpty() || (stored.statement != shownStatement_ &&
                                                     !MayDropAcceptedPairs(QStringLiteral("Aceitos_Trocar")));
    ListaExtratos(stay ? shownStatement_ : stored.statement);
}

void TfrmConciliacao::AceitarClick() {
    const int line = selectedLine();
    // With a line chosen that has a proposal, that one; else every proposal the server decided. A line is
    // nearly always chosen, and its proposal may have gone since the operator saw it (another operator paired
    // it, or the operator rejected it): the whole statement is accepted only on the operator's word.
    if (line >= 0 && board_.proposal(line) != nullptr && board_.accepted(line).isEmpty()) {
        const QString refusal = board_.accept(line);
        if (!refusal.isEmpty())
            Consiste::MensErro(refusal, true);
    } else if (const int decided = board_.decidedToAccept(); decided == 0) {
        msgPadrao.ShowMsg(QStringLiteral("Nada_Aceitar"), bco::MsgKind::Information, bco::MsgButton::Ok);
    } else if (line < 0 ||
               bco::Dialogs::messages().show(bco::MsgKind::Confirmation,
                                             msgPadrao.Msg(QStringLiteral("Aceitar_Todas")).arg(decided),
                                             bco::MsgButton::Yes | bco::MsgButton::No,
                                             QStringLiteral("Aceitar_Todas")) == bco::MsgButton::Yes) {
        board_.acceptDecided();
    }
    MostraQuadro();
}

void TfrmConciliacao::RejeitarClick() {
    const int line = selectedLine();
    if (line < 0)
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Linha_NI")), true);
    board_.reject(line);
    MostraQuadro();
}

void TfrmConciliacao::ParearClick() {
    QList<int> movements;
    for (const QModelIndex &row : ui->grdMovimentos->selectionModel()->selectedRows())
        movements.append(listedMovements_.value(row.row(), -1));
    const QString refusal = board_.pair(selectedLine(), movements);
    if (!refusal.isEmpty())
        Consiste::MensErro(refusal, true);
    MostraQuadro();
}

void TfrmConciliacao::ConciliarClick() {
    const QList<bco::StatementPairing> pairings = board_.pendingPairings();
    if (pairings.isEmpty())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Nada_Conciliar")), true);
    // The details name each line and the movements it takes, so that the operator sees what is written
    // rather than a count of lines.
    const auto describe = [](const QDate &date, qint64 cents, QChar kind, const QString &text) {
        return QStringLiteral("%1, %2, %3").arg(day(date), money(cents, kind), text.trimmed());
    };
    QSet<QString> lines;
    for (const bco::StatementPairing &pairing : pairings)
        lines.insert(pairing.line);
    QStringList details;
    for (const bco::BoardLine &line : board_.lines()) {
        QStringList taken;
        for (const bco::StatementPairing &pairing : pairings) {
            if (pairing.statement != line.statement || pairing.line != line.line)
                continue;
            for (const bco::BoardMovement &movement : board_.movements())
                if (movement.number == pairing.movement)
                    taken.append(QStringLiteral("    movimento %1 (%2)")
                                     .arg(movement.number, describe(movement.date, movement.cents,
                                                                    movement.kind, movement.description)));
        }
        if (taken.isEmpty())
            continue;
        details.append(QStringLiteral("Linha %1 (%2):")
                           .arg(line.line, describe(line.date, line.cents, line.kind, line.description)));
        details.append(taken);
    }
    if (bco::Dialogs::messages().show(
            bco::MsgKind::Confirmation, msgPadrao.Msg(QStringLiteral("Conf_Conciliar")).arg(lines.size()),
            bco::MsgButton::Yes | bco::MsgButton::No, QStringLiteral("Conf_Conciliar"),
            details.join(u'\n')) != bco::MsgButton::Yes)
        return;
    const bco::RemoteResult done = netLancContCorr.Call(
        QStringLiteral("SetConciliacao"), bco::VariantList{account_, bco::pairingPacket(pairings)});
    if (!done.ok())
        Recusa(done.errorMessage());
    ListaExtratos(ui->cbxExtrato->currentData().toList().value(0).toString());
    RefreshEntryForm();
}

void TfrmConciliacao::DesfazerClick() {
    const int chosen = selectedLine();
    const QList<bco::StatementPairing> pairings = board_.undoPairings(chosen);
    if (pairings.isEmpty())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Linha_N_Conc")), true);
    // It writes at once, as the reconciliation does: the operator says which line first.
    const bco::BoardLine &line = board_.lines()[chosen];
    if (bco::Dialogs::messages().show(bco::MsgKind::Confirmation,
                                      msgPadrao.Msg(QStringLiteral("Conf_Desfazer"))
                                          .arg(day(line.date), money(line.cents, line.kind))
                                          .arg(pairings.size()),
                                      bco::MsgButton::Yes | bco::MsgButton::No,
                                      QStringLiteral("Conf_Desfazer")) != bco::MsgButton::Yes)
        return;
    const bco::RemoteResult done = netLancContCorr.Call(
        QStringLiteral("SetDesfazConciliacao"), bco::VariantList{account_, bco::pairingPacket(pairings)});
    if (!done.ok())
        Recusa(done.errorMessage());
    ListaExtratos(ui->cbxExtrato->currentData().toList().value(0).toString());
    RefreshEntryForm();
}

// The entries this screen wrote are written since the entry form listed them: listed again at once, the
// operator's next change or deletion of one is not refused as another operator's doing.
void TfrmConciliacao::RefreshEntryForm() {
    if (Cli_bco11100::EntryFormServices *entryForm = findEntryForm_ ? findEntryForm_() : nullptr)
        entryForm->RefreshEntryList();
}

void TfrmConciliacao::Recusa(const QString &message) {
    // What the operator saw is stale: after the server's words, the screen shows what the server holds.
    Consiste::MensErro(message, false);
    ListaExtratos(ui->cbxExtrato->currentData().toList().value(0).toString());
    throw Consiste::EAbort();
}

QString TfrmConciliacao::LineTakenSince(const QString &account, const QString &statement,
                                        const QString &number, QDate from, QDate to) {
    const bco::ReconciliationBoard now =
        serverCall([&] { return bco::loadBoard(netLancContCorr, account, statement, from, to); });
    for (int row = 0; row < now.lines().size(); ++row) {
        if (now.lines()[row].line == number)
            return now.lines()[row].reconciled || now.proposal(row) != nullptr
                       ? msgPadrao.Msg(QStringLiteral("Linha_Ganhou_Par"))
                       : QString();
    }
    return msgPadrao.Msg(QStringLiteral("Linha_Sumiu"));
}

void TfrmConciliacao::IncluirLancClick() {
    if (selectedLine() < 0)
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Linha_NI")), true);
    if (!includeStarter_)
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Sem_Lancamentos")), true);
    // Judged on the statement as the server holds it now: another operator may have paired the line, or
    // included its entry, since the screen listed it.
    const bco::BoardLine seen = board_.lines()[selectedLine()];
    ListaExtratos(ui->cbxExtrato->currentData().toList().value(0).toString());
    int chosen = -1;
    for (int row = 0; row < board_.lines().size() && chosen < 0; ++row)
        if (board_.lines()[row].statement == seen.statement && board_.lines()[row].line == seen.line)
            chosen = row;
    if (chosen < 0)
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Linha_Sumiu")), true);
    ui->grdLinhas->setCurrentCell(chosen, 0);
    const bco::BoardLine &line = board_.lines()[chosen];
    // An entry for a line the books already hold would count the movement twice.
    if (line.reconciled || board_.proposal(chosen) != nullptr || !board_.accepted(chosen).isEmpty())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Linha_Com_Par")), true);
    // The include may be confirmed long after: another operator may pair the line meanwhile.
    const QVariantList shown = ui->cbxExtrato->currentData().toList();
    const QDate from = shown.value(1).toDate(), to = shown.value(2).toDate();
    includeStarter_({.account = account_,
                     .date = line.date,
                     .kind = line.kind,
                     .value = static_cast<double>(line.cents) / 100.0,
                     .document = line.document,
                     .description = line.description,
                     .stillWanted =
                         [screen = QPointer(this), account = account_, statement = line.statement,
                          number = line.line, from, to] {
                             // A screen closed since asks nothing: the include goes on as one typed.
                             return screen.isNull()
                                        ? QString()
                                        : screen->LineTakenSince(account, statement, number, from, to);
                         },
                     // Listed again as on coming back to the screen, which may stay in sight, inactive.
                     .included =
                         [screen = QPointer(this)] {
                             if (!screen.isNull())
                                 screen->FormActivate();
                         }});
}

void CriaConciliacao(Cli_bco11100::EntryDraftStarter includeStarter,
                     Cli_bco11100::EntryFormFinder findEntryForm) {
    bco::HourglassCursor hourglass;
    if (!boIdCriado || frmConciliacao.isNull()) {
        frmConciliacao = bco::CreateForm<TfrmConciliacao>();
        boIdCriado = true;
    }
    frmConciliacao->SetIncludeStarter(std::move(includeStarter));
    frmConciliacao->SetEntryFormFinder(std::move(findEntryForm));
    if (QMdiSubWindow *window = frmConciliacao->MdiWindow())
        window->showNormal();
    bco::Host::frame().showChild(*frmConciliacao);
}

} // namespace Cli_bco11105
