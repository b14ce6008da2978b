#include <cmath>

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QXYSeries>
#include <QTest>
#include <QToolButton>

#include "entries/entry_form.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/number_edit.h"
#include "reconciliation/day_marks.h"
#include "reconciliation/reconciliation_board.h"
#include "reconciliation/reconciliation_form.h"
#include "statement_model/statement_packets.h"
#include "statements/bank_statement.h"
#include "support/form_controls.h"
#include "support/entry_form_stand_in.h"
#include "support/form_test_environment.h"
#include "support/scripted_file_dialogs.h"
#include "support/second_operator.h"

namespace bco::testing {
namespace {

FieldDef field(const char *name, FieldKind kind = FieldKind::Text) {
    return FieldDef{QString::fromLatin1(name), kind, kind == FieldKind::Text ? 40 : 0, false};
}

// A board of two credit lines (10.00 and 30.00) and one debit line (5.00, reconciled), over movements
// M1 credit 10.00, M2 credit 20.00, M3 credit 10.00, M4 debit 10.00 and M5 (reconciled with the debit line).
// The server proposed M1 for the first line, decided. `changed` gives lines (by number) and movements a
// version other than their own, as a change by another operator would.
ReconciliationBoard smallBoard(const QHash<QString, QString> &changed = {},
                               const QString &statement = QStringLiteral("E1"),
                               const QString &account = QStringLiteral("001")) {
    const auto version = [&](const char *of, const char *own) {
        return changed.value(QString::fromLatin1(of), QString::fromLatin1(own));
    };
    DataPacket lines({field("NRSEQMOVREBA"), field("NRVERSAO"), field("DTMOVEXTR", FieldKind::Date),
                      field("IDMOVEXTR"), field("VRMOVEXTR", FieldKind::Float), field("NRDOCEXTR"),
                      field("DSMOVEXTR"), field("IDSTCONEXT")});
    const QDate day(2024, 3, 12);
    lines.appendValues({"1", version("1", "7"), day, "C", 10.0, "", "", "0"});
    lines.appendValues({"2", version("2", "8"), day, "C", 30.0, "", "", "0"});
    lines.appendValues({"3", "9", day, "D", 5.0, "", "", "1"});
    DataPacket entries({field("NRMOVBANC"), field("NRVERSAO"), field("DTMOVBANC", FieldKind::Date),
                        field("DEBCRED"), field("VRMOVICRED", FieldKind::Float), field("NRDOCMBANC"),
                        field("DSMOVICRED"), field("CDSEQUEXBA"), field("NRSEQMOVREBA")});
    entries.appendValues({"M1", version("M1", "11"), day, "C", 10.0, "", "", "", ""});
    entries.appendValues({"M2", version("M2", "12"), day, "C", 20.0, "", "", "", ""});
    entries.appendValues({"M3", version("M3", "13"), day, "C", 10.0, "", "", "", ""});
    entries.appendValues({"M4", "14", day, "D", -10.0, "", "", "", ""});
    entries.appendValues({"M5", "15", day, "D", -5.0, "", "", "E1", "3"});
    DataPacket proposals({field("NRSEQMOVREBA"), field("NRPROPOSTA", FieldKind::Integer), field("IDDECIDIDA"),
                          field("NRMOVBANC")});
    proposals.appendValues({"1", qint64(1), "S", "M1"});
    proposals.appendValues({"1", qint64(2), "N", "M3"});
    return ReconciliationBoard(account, statement, lines, entries, proposals);
}

TEST(ReconciliationBoard, PairsOnlyOpenMovementsOfTheLinesKindThatAddUpToItToTheCent) {
    struct Case {
        const char *name;
        int line;
        QStringList movements;
        QString refusal; // empty: accepted
    };
    const Case cases[] = {
        {"two credits that add up to the line", 1, {"M2", "M3"}, {}},
        {"one short of the line",
         1,
         {"M2"},
         "A soma dos lançamentos (20,00) difere do valor da linha (30,00)."},
        {"a debit for a credit line", 0, {"M4"}, "O lançamento M4 não é da mesma natureza da linha."},
        {"a movement already reconciled", 0, {"M5"}, "Um dos lançamentos já está conciliado."},
        {"a line already reconciled", 2, {"M4"}, "A linha já está conciliada."},
        {"the same movement twice", 1, {"M2", "M2"}, "O lançamento M2 já foi aceito para outra linha."},
        {"no movement", 0, {}, "Selecione os lançamentos da linha."},
        {"no line", -1, {"M1"}, "Selecione uma linha do extrato."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ReconciliationBoard board = smallBoard();
        QList<int> chosen;
        for (const QString &number : c.movements)
            chosen.append(board.movementIndex(number));
        EXPECT_EQ(board.pair(c.line, chosen), c.refusal);
        EXPECT_EQ(board.accepted(c.line), c.refusal.isEmpty() ? c.movements : QStringList());
    }
}

TEST(ReconciliationBoard, AMovementAcceptedForOneLineIsNoLongerOpenForAnother) {
    ReconciliationBoard board = smallBoard();
    EXPECT_EQ(board.acceptDecided(), 1);
    EXPECT_EQ(board.accepted(0), QStringList{"M1"});
    EXPECT_EQ(board.pair(1, {board.movementIndex("M1"), board.movementIndex("M2")}),
              "O lançamento M1 já foi aceito para outra linha.");
    QStringList open;
    for (int index : board.openMovements())
        open << board.movements()[index].number;
    EXPECT_EQ(open, QStringList({"M2", "M3", "M4"}));
    const QList<StatementPairing> pending = board.pendingPairings();
    ASSERT_EQ(pending.size(), 1);
    EXPECT_EQ(QStringList({pending[0].statement, pending[0].line, pending[0].lineVersion, pending[0].movement,
                           pending[0].movementVersion}),
              QStringList({"E1", "1", "7", "M1", "11"}));
    board.reject(0);
    EXPECT_TRUE(board.pendingPairings().isEmpty());
    EXPECT_EQ(board.proposal(0), nullptr) << "a rejected proposal is not offered again";
    const QList<StatementPairing> undo = board.undoPairings(2);
    ASSERT_EQ(undo.size(), 1);
    EXPECT_EQ(QStringList({undo[0].line, undo[0].lineVersion, undo[0].movement, undo[0].movementVersion}),
              QStringList({"3", "9", "M5", "15"}));
}

TEST(ReconciliationBoard, ListedAnewItKeepsTheDecisionsOnWhatNobodyChangedSince) {
    // Before: line 1 accepted with M1, line 2 paired with M2 and M3.
    ReconciliationBoard before = smallBoard();
    ASSERT_EQ(before.acceptDecided(), 1);
    ASSERT_EQ(before.pair(1, {before.movementIndex("M2"), before.movementIndex("M3")}), QString());
    struct Case {
        const char *name;
        QHash<QString, QString> changed;
        QString statement;
        QStringList first, second; // accepted afterwards
        QString account = QStringLiteral("001");
    };
    const Case cases[] = {
        {"nothing changed", {}, "E1", {"M1"}, {"M2", "M3"}},
        {"the second line changed", {{"2", "20"}}, "E1", {"M1"}, {}},
        {"one of the second line's movements changed", {{"M3", "30"}}, "E1", {"M1"}, {}},
        {"the first line's movement changed", {{"M1", "31"}}, "E1", {}, {"M2", "M3"}},
        {"another statement", {}, "E2", {}, {}},
        {"the same statement and line numbers on another account", {}, "E1", {}, {}, QStringLiteral("002")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ReconciliationBoard after = smallBoard(c.changed, c.statement, c.account);
        EXPECT_EQ(after.carryDecisions(before), int(!c.first.isEmpty()) + int(!c.second.isEmpty()));
        EXPECT_EQ(after.accepted(0), c.first);
        EXPECT_EQ(after.accepted(1), c.second);
    }

    // A rejected proposal stays rejected while its line is as it was.
    ReconciliationBoard rejecting = smallBoard();
    rejecting.reject(0);
    ReconciliationBoard unchanged = smallBoard();
    unchanged.carryDecisions(rejecting);
    EXPECT_EQ(unchanged.proposal(0), nullptr);
    ReconciliationBoard changed = smallBoard({{"1", "21"}});
    changed.carryDecisions(rejecting);
    EXPECT_NE(changed.proposal(0), nullptr);
    ReconciliationBoard otherAccount = smallBoard({}, QStringLiteral("E1"), QStringLiteral("002"));
    otherAccount.carryDecisions(rejecting);
    EXPECT_NE(otherAccount.proposal(0), nullptr);
}

TEST(DayMarks, StandOnDaysWithinTheMostAndReachTheLastDay) {
    const struct Case {
        QDate first, last;
        int step, count;
    } cases[] = {
        {QDate(2026, 12, 3), QDate(2026, 12, 9), 1, 7},  // a week: every day
        {QDate(2026, 12, 1), QDate(2026, 12, 8), 1, 8},  // eight days fill the marks
        {QDate(2026, 12, 1), QDate(2026, 12, 9), 2, 5},  // nine do not: every other day
        {QDate(2026, 11, 1), QDate(2026, 11, 30), 5, 7}, // a month of 29 intervals, past its last day
        {QDate(2026, 12, 1), QDate(2026, 12, 31), 5, 7}, // one of 30, to its last day
        {QDate(2026, 12, 9), QDate(2026, 12, 9), 1, 2},  // a single day still has an axis
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.first.toString(Qt::ISODate) + " .. " + c.last.toString(Qt::ISODate)).toStdString());
        const DayMarks marks = dayMarks(c.first, c.last, 8);
        EXPECT_EQ(marks.step, c.step);
        EXPECT_EQ(marks.count, c.count);
        EXPECT_LE(marks.count, 8);
        EXPECT_GE(c.first.addDays(qint64(marks.step) * (marks.count - 1)), c.last);
    }
}

TEST(ReconciliationBoard, CountsTheBanksAndTheBooksDailyBalancesOverThePeriod) {
    // smallBoard's lines add up to +35.00 on the 12th, its movements to +25.00.
    struct Case {
        const char *name;
        std::optional<qint64> opening, closing;
        QList<std::optional<qint64>> bank; // the 11th, 12th and 13th
        QList<bool> differs;
    };
    const Case cases[] = {
        {"from the opening balance", 1000, std::nullopt, {1000, 4500, 4500}, {false, true, true}},
        {"back from the closing balance", std::nullopt, 4500, {1000, 4500, 4500}, {false, true, true}},
        {"the opening balance wins over the closing", 2000, 4500, {2000, 5500, 5500}, {true, true, true}},
        {"no balance at all",
         std::nullopt,
         std::nullopt,
         {std::nullopt, std::nullopt, std::nullopt},
         {false, false, false}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<DailyBalance> days =
            dailyBalances(smallBoard(), QDate(2024, 3, 11), QDate(2024, 3, 13), c.opening, c.closing, 1000);
        ASSERT_EQ(days.size(), 3);
        QList<std::optional<qint64>> bank;
        QList<qint64> books;
        QList<bool> differs;
        for (const DailyBalance &day : days) {
            bank << day.bank;
            books << day.books;
            differs << day.differs();
        }
        EXPECT_EQ(bank, c.bank);
        EXPECT_EQ(books, QList<qint64>({1000, 3500, 3500}));
        EXPECT_EQ(differs, c.differs);
    }
    // Lines another statement holds count on their days, those outside the period do not.
    QList<std::optional<qint64>> counted;
    for (const DailyBalance &day :
         dailyBalances(smallBoard(), QDate(2024, 3, 11), QDate(2024, 3, 13), 1000, std::nullopt, 1000,
                       {{QDate(2024, 3, 11), -300}, {QDate(2024, 3, 13), 200}, {QDate(2024, 3, 14), 9999}}))
        counted << day.bank;
    EXPECT_EQ(counted, (QList<std::optional<qint64>>{700, 4200, 4400}));
    // A movement listed outside the period (within the proposals' window) is not the period's.
    EXPECT_EQ(
        dailyBalances(smallBoard(), QDate(2024, 3, 13), QDate(2024, 3, 14), 0, std::nullopt, 0).last().books,
        0);
}

// The screen over account 001, whose March 2024 entries the test includes as another client would, and an
// OFX statement of them with a fee the books do not hold.
class ReconciliationForm : public ::testing::Test {
protected:
    void SetUp() override {
        QSqlQuery query(env.database());
        query.exec(
            QStringLiteral("SELECT CDBANCO, CDAGENCIA, CDCONTCORR FROM CONTCORR WHERE CDREDUCONT = '001'"));
        ASSERT_TRUE(query.next());
        const QString bank = query.value(0).toString(), agency = query.value(1).toString(),
                      number = query.value(2).toString();
        for (EntryRequest *entry : {&cheque, &payment, &first, &second, &third})
            include(*entry);
        QByteArray ofx = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\n"
                         "CHARSET:1252\nCOMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX>\n"
                         "<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS>\n"
                         "<STMTRS><CURDEF>BRL\n";
        ofx += QStringLiteral("<BANKACCTFROM><BANKID>%1<BRANCHID>%2<ACCTID>%3-%4<ACCTTYPE>CHECKING"
                              "</BANKACCTFROM>\n<BANKTRANLIST><DTSTART>20240311<DTEND>20240313\n")
                   .arg(bank, agency, number.chopped(1), number.right(1))
                   .toLatin1();
        const char *lines[][5] = {{"CREDIT", "20240311", "1234,57", "F1", "501"},
                                  {"DEBIT", "20240313", "-321,09", "F2", ""},
                                  {"CREDIT", "20240312", "600,15", "F3", ""},
                                  {"DEBIT", "20240313", "-12,34", "F4", ""}};
        for (const auto &line : lines)
            ofx += QStringLiteral("<STMTTRN><TRNTYPE>%1<DTPOSTED>%2<TRNAMT>%3<FITID>%4<CHECKNUM>%5"
                                  "<MEMO>LINHA %4</STMTTRN>\n")
                       .arg(line[0], line[1], line[2], line[3], line[4])
                       .toLatin1();
        ofx += "</BANKTRANLIST><LEDGERBAL><BALAMT>100,00<DTASOF>20240313</LEDGERBAL></STMTRS>\n"
               "</STMTTRNRS></BANKMSGSRSV1></OFX>\n";
        statementPath = folder.filePath(QStringLiteral("extrato.ofx"));
        QFile file(statementPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ofx);
        file.close();

        // As the module opens it: the include goes to the entry form.
        Cli_bco11105::CriaConciliacao(
            [](const Cli_bco11100::EntryDraft &draft) {
                Cli_bco11100::CriaLancamento();
                Cli_bco11100::frmLancCCorr->IniciaInclusao(draft);
            },
            entryForm.Finder());
        form = Cli_bco11105::frmConciliacao;
        ASSERT_FALSE(form.isNull());
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    void TearDown() override {
        if (!form.isNull()) {
            if (form->board().acceptedLines() > 0)
                env.dialogs.answer(QStringLiteral("Aceitos_Pendentes"), MsgButton::Yes);
            form->Close();
        }
        if (QPointer<Cli_bco11100::TfrmLancCCorr> entries = Cli_bco11100::frmLancCCorr; !entries.isNull()) {
            if (entries->CurrentMode() != Cli_bco11100::TfrmLancCCorr::Mode::Browsing)
                env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
            entries->Close();
        }
        releaseDeferred();
    }

    void include(EntryRequest &entry) {
        SecondOperator books(env.server(), QStringLiteral("DEMO"));
        const Insertion call = insertion(entry, [&](const QString &method, const QString &account) {
            return books.call(method, {account, QStringLiteral("1")}).toText();
        });
        books.call(call.method, call.args);
    }

    template <class Widget = QWidget> Widget *control(const char *name) const {
        return controlOf<Widget>(*form, name);
    }

    // The operator types the account, leaves it and imports the statement file.
    void openStatement() {
        auto *account = control<QLineEdit>("medCdRedu");
        account->setFocus();
        QTest::keyClicks(account, QStringLiteral("001"));
        control<QTableWidget>("grdLinhas")->setFocus();
        files.choose(statementPath);
        form->sbtImportExport->click();
    }

    void selectLine(int row) { control<QTableWidget>("grdLinhas")->setCurrentCell(row, 0); }

    // A file of the statement's days and the next, with one more line on the next: the path it is written to.
    QString laterStatement() {
        QFile earlier(statementPath);
        EXPECT_TRUE(earlier.open(QIODevice::ReadOnly));
        QByteArray later = earlier.readAll();
        later.replace("<DTEND>20240313", "<DTEND>20240314")
            .replace(
                "</BANKTRANLIST>",
                "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20240314<TRNAMT>50,00<FITID>F5<MEMO>LINHA F5</STMTTRN>\n"
                "</BANKTRANLIST>")
            .replace("<BALAMT>100,00<DTASOF>20240313", "<BALAMT>150,00<DTASOF>20240314");
        const QString laterPath = folder.filePath(QStringLiteral("extrato-ate-14.ofx"));
        QFile file(laterPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(later);
        return laterPath;
    }

    // The fee's line (the statement's fourth) becomes an include, which the operator completes.
    QPointer<Cli_bco11100::TfrmLancCCorr> startFeeInclude() {
        selectLine(3);
        press(QKeySequence(Qt::CTRL | Qt::Key_I));
        QPointer<Cli_bco11100::TfrmLancCCorr> entries = Cli_bco11100::frmLancCCorr;
        if (entries.isNull())
            return entries;
        for (const auto &[name, text] :
             {std::pair{"medTpLanc", "1"}, {"medFilial", "0101"}, {"medCentCust", "0001"}}) {
            auto *edit = controlOf<QWidget>(*entries, name);
            edit->setFocus();
            QTest::keyClicks(edit, QString::fromLatin1(text));
        }
        controlOf<QLineEdit>(*entries, "edtDsLancamento")->setFocus();
        return entries;
    }
    qint64 feesInTheBooks() {
        return env
            .value(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND IDMOVBANC = "
                                  "'D' AND VRMOVBANC = 1234"))
            .toLongLong();
    }
    void press(QKeySequence keys) { QTest::keySequence(control<QTableWidget>("grdLinhas"), keys); }

    // How a movement of account 001 stands: reconciled flag, statement, line.
    QString reconciliationOf(const EntryRequest &entry) {
        return rows::reconciliationOf(env.database(), entry.movement);
    }
    // How many movements are reconciled with the statement's line of the bank's id `bankId`.
    int movementsOn(const char *bankId) {
        return env
            .value(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO M, MOVEXTRATO L WHERE M.CDREDUCONT = "
                                  "L.CDREDUCONT AND M.CDSEQUEXBA = L.CDSEQUEXBA AND M.NRSEQMOVREBA = "
                                  "L.NRSEQMOVREBA AND L.IDBANCO = '%1'")
                       .arg(QLatin1String(bankId)))
            .toInt();
    }

    static EntryRequest entryOf(char kind, int day, double value, const char *description,
                                const char *document = "") {
        return EntryRequest{.kind = kind,
                            .date = QDate(2024, 3, day),
                            .value = value,
                            .description = QString::fromUtf8(description),
                            .document = QString::fromUtf8(document)};
    }

    FormTestEnvironment env;
    // The entry form the screen lists again after its writes (counting them only).
    EntryFormStandIn entryForm;
    ScriptedFileDialogs files;
    QTemporaryDir folder;
    QString statementPath;
    QPointer<Cli_bco11105::TfrmConciliacao> form;
    EntryRequest cheque = entryOf('C', 11, 1234.57, "Cheque depositado", "501");
    EntryRequest payment = entryOf('D', 13, 321.09, "Pagamento");
    EntryRequest first = entryOf('C', 12, 100.03, "Cheque 1 do depósito");
    EntryRequest second = entryOf('C', 12, 200.05, "Cheque 2 do depósito");
    EntryRequest third = entryOf('C', 12, 300.07, "Cheque 3 do depósito");
};

TEST_F(ReconciliationForm, ImportsTheStatementAcceptsItsProposalsAndReconcilesThemInOneCall) {
    openStatement();
    ASSERT_EQ(form->board().lines().size(), 4);
    // The account as its bank's pictures show it.
    EXPECT_EQ(controlOf<QLabel>(*form, "lblDsConta")->text(), u"Banco 101, agência 6483-9, conta 19832613-4");
    EXPECT_EQ(env.dialogs.texts().size(), 1) << "the server's words on what it stored";
    // The chart's last day: the bank's stated closing balance against the books' balance as the server keeps
    // it.
    const qint64 books =
        std::llround(SecondOperator(env.server(), QStringLiteral("DEMO"))
                         .call(QStringLiteral("getSaldoDia"), {QStringLiteral("001"), QDate(2024, 3, 13)})
                         .toFloat() *
                     100);
    ASSERT_FALSE(form->balances().isEmpty());
    EXPECT_EQ(form->balances().last().day, QDate(2024, 3, 13));
    EXPECT_EQ(form->balances().last().bank, std::optional<qint64>(10000));
    EXPECT_EQ(form->balances().last().books, books);
    EXPECT_TRUE(controlOf<QLabel>(*form, "lblDiferenca")
                    ->text()
                    .startsWith(u"Diferença no fechamento de 13/03/2024: "))
        << controlOf<QLabel>(*form, "lblDiferenca")->text().toStdString();
    const QString statement = form->board().lines()[0].statement;
    QStringList lineNumbers;
    for (const BoardLine &line : form->board().lines())
        lineNumbers << line.line;
    // A double click on a line without a proposal of its own (the fee) accepts nothing, not even the decided
    // proposals of the other lines.
    selectLine(3);
    Q_EMIT control<QTableWidget>("grdLinhas")->cellDoubleClicked(3, 0);
    EXPECT_TRUE(form->board().pendingPairings().isEmpty());
    EXPECT_EQ(env.dialogs.texts().size(), 1) << "the server's words on what it stored, and nothing since";
    // "Aceitar" there accepts the other lines' only on the operator's word.
    env.dialogs.answer(QStringLiteral("Aceitar_Todas"), MsgButton::No);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_TRUE(form->board().pendingPairings().isEmpty());
    EXPECT_EQ(env.dialogs.texts().value(1).toStdString(),
              "A linha escolhida não tem proposta a aceitar. Aceita as propostas decididas das 3 linha(s) do "
              "extrato que as têm?");
    // The cheque is proposed by its document; the deposit, line 3, is paired by hand with its three cheques.
    selectLine(0);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(form->board().accepted(0), QStringList{cheque.movement});
    selectLine(3);
    env.dialogs.answer(QStringLiteral("Aceitar_Todas"), MsgButton::Yes);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(form->board().accepted(1), QStringList{payment.movement});
    EXPECT_TRUE(env.dialogs.texts().last().contains(u"das 2 linha(s)"))
        << env.dialogs.texts().last().toStdString();
    selectLine(2);
    auto *movements = control<QTableWidget>("grdMovimentos");
    movements->clearSelection();
    for (int row = 0; row < form->listedMovements().size(); ++row) {
        const QString number = form->board().movements()[form->listedMovements()[row]].number;
        if (number == first.movement || number == second.movement || number == third.movement)
            movements->selectionModel()->select(movements->model()->index(row, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    press(QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_EQ(form->board().accepted(2).size(), 3);
    env.dialogs.answer(QStringLiteral("Conf_Conciliar"), MsgButton::Yes);
    control<QToolButton>("sbtConciliar")->click();
    // The question names what it writes: each line with the movements it takes.
    const QString asked = env.dialogs.shown().back().details;
    EXPECT_TRUE(asked.startsWith(u"Linha ")) << asked.toStdString();
    for (const EntryRequest *entry : {&cheque, &payment, &first, &second, &third})
        EXPECT_TRUE(asked.contains(QStringLiteral("movimento %1 (").arg(entry->movement)))
            << asked.toStdString();

    struct Expected {
        const EntryRequest &entry;
        int line;
    };
    for (const Expected &e : {Expected{cheque, 0}, Expected{payment, 1}, Expected{first, 2},
                              Expected{second, 2}, Expected{third, 2}}) {
        SCOPED_TRACE(e.entry.description.toStdString());
        EXPECT_EQ(reconciliationOf(e.entry), QStringLiteral("1 %1 %2").arg(statement, lineNumbers[e.line]));
    }
    EXPECT_EQ(QList<int>({movementsOn("F1"), movementsOn("F2"), movementsOn("F3"), movementsOn("F4")}),
              QList<int>({1, 1, 3, 0}));
    EXPECT_TRUE(form->board().lines()[0].reconciled) << "the screen lists again what the server holds";
    EXPECT_EQ(entryForm.refreshes, 1) << "and so does the entry form";

    // Undoing the deposit asks first, naming the line; "Não" releases nothing, "Sim" its three cheques and
    // nothing else.
    selectLine(2);
    env.dialogs.clearShown();
    env.dialogs.answer(QStringLiteral("Conf_Desfazer"), MsgButton::No);
    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(
        env.dialogs.texts(),
        QStringList{"Desfaz a conciliação da linha de 12/03/2024 no valor de 600,15 com 3 lançamento(s)?"});
    EXPECT_EQ(movementsOn("F3"), 3);
    env.dialogs.answer(QStringLiteral("Conf_Desfazer"), MsgButton::Yes);
    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    for (const EntryRequest *entry : {&first, &second, &third})
        EXPECT_EQ(reconciliationOf(*entry), QStringLiteral("0  ")) << entry->description.toStdString();
    EXPECT_EQ(entryForm.refreshes, 2);
    EXPECT_EQ(reconciliationOf(cheque), QStringLiteral("1 %1 %2").arg(statement, lineNumbers[0]));
    EXPECT_EQ(movementsOn("F3"), 0);
    EXPECT_FALSE(form->board().lines()[2].reconciled);
}

// Accepted pairs live on the screen until "Conciliar" writes them: closing the screen, or typing another
// account, asks first, and "Não" keeps the screen, its account and every pair accepted.
TEST_F(ReconciliationForm, LeavingPairsAcceptedAsksAndNaoKeepsThem) {
    openStatement();
    const QString unreconciled = reconciliationOf(cheque);
    selectLine(0);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    ASSERT_EQ(form->board().accepted(0), QStringList{cheque.movement});
    auto *account = control<QLineEdit>("medCdRedu");
    const auto typeAccount = [&](const char *code) {
        account->setFocus();
        account->selectAll();
        QTest::keyClicks(account, QString::fromLatin1(code));
        control<QTableWidget>("grdLinhas")->setFocus();
    };
    const struct Leaving {
        const char *name;
        const char *key;
        std::function<void()> leave;
        QString question;
    } ways[] = {
        {"closing the screen", "Aceitos_Pendentes", [&] { form->Close(); },
         QStringLiteral(
             "1 linha(s) do extrato aceita(s) ainda não foram conciliadas. Deseja fechar a tela sem "
             "conciliá-las?")},
        {"typing another account", "Aceitos_Trocar", [&] { typeAccount("002"); },
         QStringLiteral(
             "1 linha(s) do extrato aceita(s) ainda não foram conciliadas. Deseja trocar de extrato "
             "sem conciliá-las?")},
        {"importing another statement", "Aceitos_Trocar",
         [&] {
             files.choose(laterStatement());
             form->sbtImportExport->click();
         },
         QStringLiteral(
             "1 linha(s) do extrato aceita(s) ainda não foram conciliadas. Deseja trocar de extrato "
             "sem conciliá-las?")},
    };
    for (const Leaving &way : ways) {
        SCOPED_TRACE(way.name);
        env.dialogs.clearShown();
        env.dialogs.answer(QString::fromLatin1(way.key), MsgButton::No);
        way.leave();
        EXPECT_EQ(env.dialogs.texts().filter(u"aceita(s)"), QStringList{way.question});
        ASSERT_FALSE(form.isNull());
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(account->text(), QStringLiteral("001"));
        EXPECT_EQ(form->board().accepted(0), QStringList{cheque.movement});
    }
    env.dialogs.answer(QStringLiteral("Aceitos_Pendentes"), MsgButton::Yes);
    form->Close();
    releaseDeferred();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(reconciliationOf(cheque), unreconciled) << "closing writes nothing";
}

// A later file that repeats the statement's days stores only its new line, yet the bank's balance of each
// day counts the lines the earlier statement holds: the closing difference is the books' and the bank's.
TEST_F(ReconciliationForm, AStatementOverlappingAnEarlierOneCountsTheLinesThatOneHolds) {
    openStatement();
    auto *statements = control<QComboBox>("cbxExtrato");
    const QString earlier = statements->currentText();
    files.choose(laterStatement());
    form->sbtImportExport->click();
    ASSERT_EQ(form->board().lines().size(), 1) << "the lines of the earlier file are not stored again";
    QList<std::optional<qint64>> bank;
    for (const DailyBalance &day : form->balances())
        bank << day.bank;
    // From the opening balance the file states (-1.401,29), through each day's lines of either statement.
    EXPECT_EQ(bank, (QList<std::optional<qint64>>{-16672, 43343, 10000, 15000}));

    // Shown again, the earlier statement counts none of the later one's lines, which were never its file's:
    // a line the later file added on a day of its period left its closing balance off the one it states.
    QFile later(laterStatement());
    ASSERT_TRUE(later.open(QIODevice::ReadOnly));
    QByteArray lateLine = later.readAll();
    lateLine.replace("<DTPOSTED>20240314<TRNAMT>50,00<FITID>F5", "<DTPOSTED>20240313<TRNAMT>50,00<FITID>F6")
        .replace("<DTEND>20240314", "<DTEND>20240313")
        .replace("<BALAMT>150,00<DTASOF>20240314", "<BALAMT>200,00<DTASOF>20240313");
    const bco::StatementPackets sent = bco::statementPackets(bco::readStatement(lateLine));
    SecondOperator(env.server())
        .call(QStringLiteral("SetGravaExtrato"), {QStringLiteral("001"), sent.header, sent.lines});
    const int before = statements->count();
    QTest::mouseClick(statements, Qt::LeftButton); // lists what the other operator stored
    statements->hidePopup();
    ASSERT_EQ(statements->count(), before + 1);
    const int at = statements->findText(earlier);
    ASSERT_GE(at, 0);
    statements->setCurrentIndex(at);
    Q_EMIT statements->activated(at);
    ASSERT_FALSE(form->balances().isEmpty());
    EXPECT_EQ(form->balances().last().bank, 10000) << "the 100,00 the earlier file states on the 13th";
}

// A statement another operator stores while the screen is open is among those the list offers as it opens,
// by the mouse or the keyboard; the statement shown stays chosen.
TEST_F(ReconciliationForm, TheStatementListOpensWithWhatAnotherOperatorStoredMeanwhile) {
    openStatement();
    auto *statements = control<QComboBox>("cbxExtrato");
    const QString shown = statements->currentText();
    const int before = statements->count();
    QFile later(laterStatement());
    ASSERT_TRUE(later.open(QIODevice::ReadOnly));
    const bco::StatementPackets sent = bco::statementPackets(bco::readStatement(later.readAll()));
    SecondOperator(env.server())
        .call(QStringLiteral("SetGravaExtrato"), {QStringLiteral("001"), sent.header, sent.lines});
    const std::function<void()> opens[] = {
        [&] { QTest::mouseClick(statements, Qt::LeftButton); },
        [&] { QTest::keyClick(statements, Qt::Key_Down, Qt::AltModifier); },
    };
    for (const auto &open : opens) {
        statements->hidePopup();
        statements->setFocus();
        open();
        EXPECT_EQ(statements->count(), before + 1);
        EXPECT_EQ(statements->currentText(), shown);
    }
    statements->hidePopup();
}

// Back on the screen after another operator changed an entry the operator had accepted for a line, the
// pair is dropped, and the operator is told so then rather than at "Conciliar".
TEST_F(ReconciliationForm, APairAnotherOperatorMadeStaleIsDroppedAndToldWhenTheScreenComesBack) {
    openStatement();
    for (const int line : {0, 1}) {
        selectLine(line);
        press(QKeySequence(Qt::CTRL | Qt::Key_E));
    }
    ASSERT_EQ(form->board().acceptedLines(), 2);
    const Insertion call = change(cheque, QStringLiteral("Cheque mudado pelo outro"));
    SecondOperator(env.server(), QStringLiteral("DEMO")).call(call.method, call.args);
    env.dialogs.clearShown();
    form->RunFormActivate();
    EXPECT_EQ(
        env.dialogs.texts(),
        QStringList{"1 linha(s) aceita(s) voltaram a ficar sem par: a linha ou o lançamento foi gravado "
                    "depois que você os aceitou (nesta ou em outra tela, por você ou por outro operador). "
                    "Confira-os e aceite de novo."});
    EXPECT_EQ(form->board().accepted(1), QStringList{payment.movement});
    EXPECT_TRUE(form->board().accepted(0).isEmpty());
    env.dialogs.clearShown();
    form->RunFormActivate();
    EXPECT_TRUE(env.dialogs.texts().isEmpty()) << "nothing more to tell";
}

// Back on the screen after another operator wrote entries that list above the movement the operator sees,
// the click that brought the window back pairs nothing: the rows moved under the pointer. The movement chosen
// stays chosen, and once the rows stand still a double click pairs the movement under it.
TEST_F(ReconciliationForm, TheClickThatBringsTheScreenBackActsOnNoRowThatMovedUnderIt) {
    openStatement();
    // A pair the other operator makes stale too: the screen tells it as it comes back, and the click waits
    // while the message is read.
    selectLine(0);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    ASSERT_EQ(form->board().acceptedLines(), 1);
    selectLine(1);
    auto *movements = control<QTableWidget>("grdMovimentos");
    const auto rowOf = [movements](const QString &number) {
        for (int row = 0; row < movements->rowCount(); ++row)
            if (movements->item(row, 0)->text() == number)
                return row;
        return -1;
    };
    const auto chosen = [&] {
        QStringList numbers;
        for (const QModelIndex &row : movements->selectionModel()->selectedRows())
            numbers.append(movements->item(row.row(), 0)->text());
        return numbers;
    };
    const auto doubleClick = [movements](int row) {
        const QModelIndex at = movements->model()->index(row, 0);
        movements->scrollTo(at);
        // A double click's press comes apart from its double-click event.
        QTest::mouseClick(movements->viewport(), Qt::LeftButton, {}, movements->visualRect(at).center());
        QTest::mouseDClick(movements->viewport(), Qt::LeftButton, {}, movements->visualRect(at).center());
    };
    const int seen = rowOf(payment.movement);
    ASSERT_GE(seen, 0);
    movements->selectRow(seen);
    EntryRequest earlier = entryOf('D', 10, 77.77, "Do outro operador");
    include(earlier);
    const Insertion call = change(cheque, QStringLiteral("Cheque mudado pelo outro"));
    SecondOperator(env.server(), QStringLiteral("DEMO")).call(call.method, call.args);
    env.dialogs.answer(QStringLiteral("Aceitos_Descartados"), MsgButton::Ok,
                       [] { QTest::qWait(QApplication::doubleClickInterval() + 50); });
    form->RunFormActivate();
    ASSERT_GT(rowOf(payment.movement), seen) << "the other's entry lists above";
    EXPECT_EQ(chosen(), QStringList{payment.movement});

    doubleClick(seen);
    EXPECT_TRUE(form->board().accepted(1).isEmpty()) << "the row under the pointer is another movement now";
    EXPECT_EQ(chosen(), QStringList{payment.movement});
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    doubleClick(rowOf(payment.movement));
    EXPECT_EQ(form->board().accepted(1), QStringList{payment.movement});
}

// A file whose lines the account holds already stores nothing: the screen stays on the statement it shows,
// an earlier one, with what the operator accepted there and the line chosen.
TEST_F(ReconciliationForm, AFileThatStoresNothingLeavesTheStatementShownAsItWas) {
    openStatement();
    QFile earlier(statementPath);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    const QByteArray original = earlier.readAll();
    const auto write = [&](const char *name, const QByteArray &content) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    };
    QByteArray later = original;
    later.replace(
        "</BANKTRANLIST>",
        "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20240314<TRNAMT>50,00<FITID>F5</STMTTRN>\n</BANKTRANLIST>");
    auto *choice = control<QComboBox>("cbxExtrato");
    const int shown = choice->currentIndex();
    files.choose(write("posterior.ofx", later));
    form->sbtImportExport->click();
    ASSERT_EQ(choice->currentIndex(), choice->count() - 1);
    ASSERT_NE(choice->currentIndex(), shown);
    choice->setCurrentIndex(shown);
    Q_EMIT choice->activated(shown);
    ASSERT_EQ(form->board().lines().size(), 4);
    selectLine(0);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    ASSERT_EQ(form->board().accepted(0), QStringList{cheque.movement});

    QByteArray again = original;
    files.choose(write("de-novo.ofx", again.replace("NEWFILEUID:NONE", "NEWFILEUID:2")));
    form->sbtImportExport->click();
    EXPECT_EQ(choice->currentIndex(), shown);
    EXPECT_EQ(form->board().accepted(0), QStringList{cheque.movement});
    EXPECT_EQ(control<QTableWidget>("grdLinhas")->currentRow(), 0);
}

// Tab and Shift+Tab leave a grid for the next control, as in every other screen: moving within the grid they
// chose another line, which the commands then worked on, and the rest of the screen was out of the keys'
// reach.
TEST_F(ReconciliationForm, TabLeavesEachGridAndTheChosenLineStays) {
    openStatement();
    for (const char *name : {"grdLinhas", "grdMovimentos"}) {
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            SCOPED_TRACE(std::string(name) + (key == Qt::Key_Tab ? " Tab" : " Shift+Tab"));
            auto *grid = control<QTableWidget>(name);
            ASSERT_GT(grid->rowCount(), 1);
            grid->setFocus();
            grid->setCurrentCell(1, 0);
            QTest::keyClick(grid, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            EXPECT_NE(QApplication::focusWidget(), grid);
            EXPECT_EQ(grid->currentRow(), 1);
        }
    }
}

// The value axis spans every balance the chart draws, the bank's and the books', on round marks.
TEST_F(ReconciliationForm, TheChartsValueAxisSpansBothLinesOnRoundMarks) {
    openStatement();
    auto *view = form->findChild<QChartView *>();
    ASSERT_NE(view, nullptr);
    const QList<QAbstractAxis *> vertical = view->chart()->axes(Qt::Vertical);
    ASSERT_EQ(vertical.size(), 1);
    const auto *values = qobject_cast<QValueAxis *>(vertical.first());
    ASSERT_NE(values, nullptr);
    int points = 0;
    for (QAbstractSeries *series : view->chart()->series())
        for (const QPointF &point : qobject_cast<QXYSeries *>(series)->points()) {
            ++points;
            EXPECT_GE(point.y(), values->min());
            EXPECT_LE(point.y(), values->max());
        }
    EXPECT_GT(points, 0);
    EXPECT_EQ(values->min(), std::round(values->min()));
    EXPECT_EQ(values->max(), std::round(values->max()));
}

// The statement goes to the account the field shows: typed over a chosen account and not left (the import
// button takes no focus), the new account is the one the file is checked against and stored in.
TEST_F(ReconciliationForm, AStatementGoesToTheAccountTypedLastThoughItsFieldWasNotLeft) {
    auto *account = control<QLineEdit>("medCdRedu");
    account->setFocus();
    QTest::keyClicks(account, QStringLiteral("001"));
    control<QTableWidget>("grdLinhas")->setFocus();
    account->setFocus();
    account->selectAll();
    QTest::keyClicks(account, QStringLiteral("002"));
    const QString stored = QStringLiteral("SELECT COUNT(*) FROM EXTRATOBANC");
    const int before = env.value(stored).toInt();
    files.choose(statementPath);
    env.dialogs.clearShown();
    form->sbtImportExport->click();
    EXPECT_EQ(env.dialogs.errors(), QStringList{"O extrato não é da conta corrente 002."});
    EXPECT_EQ(env.value(stored).toInt(), before);
}

// The books' balances of a statement picked again are those of the moment it is picked: an entry another
// operator wrote before the statement's first day since the screen listed the statements moves them all.
TEST_F(ReconciliationForm, AStatementPickedAgainShowsTheBooksAsTheyAreNow) {
    openStatement();
    const auto books = [&] {
        QList<qint64> each;
        for (const DailyBalance &day : form->balances())
            each << day.books;
        return each;
    };
    const QList<qint64> before = books();
    ASSERT_FALSE(before.isEmpty());
    EntryRequest earlier = entryOf('C', 1, 100.00, "Depósito do outro operador");
    include(earlier);
    auto *choice = control<QComboBox>("cbxExtrato");
    choice->activated(choice->currentIndex()); // as a pick with the mouse signals it
    QList<qint64> moved;
    for (const qint64 day : before)
        moved << day + 10000;
    EXPECT_EQ(books(), moved);
}

// A statement that cannot be listed (here: the operator's session ended, with no renewal at hand) leaves the
// screen on the one it showed, its choice included, since the screen lists again by the choice.
TEST_F(ReconciliationForm, AStatementThatCannotBeListedLeavesTheChoiceOnTheOneShown) {
    openStatement();
    auto *choice = control<QComboBox>("cbxExtrato");
    ASSERT_GE(choice->count(), 2);
    const int shown = choice->currentIndex();
    const int other = shown == 0 ? 1 : 0;
    env.execute(QStringLiteral("DELETE FROM SESSAO"));
    choice->setCurrentIndex(other);
    choice->activated(other); // as a pick with the mouse signals it
    EXPECT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_EQ(choice->currentIndex(), shown);
    EXPECT_EQ(form->board().lines().size(), 4);
}

TEST_F(ReconciliationForm, ALineAnotherOperatorReconciledMeanwhileIsRefusedAndNothingIsWritten) {
    openStatement();
    selectLine(0);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    selectLine(1);
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    const QString statement = form->board().lines()[0].statement;
    // Between what the screen shows and the operator's yes, another operator reconciles the payment.
    env.dialogs.answer(QStringLiteral("Conf_Conciliar"), MsgButton::Yes, [&] {
        SecondOperator other(env.server(), QStringLiteral("DEMO"));
        const QList<StatementPairing> pairing{
            {statement, form->board().lines()[1].line, form->board().lines()[1].version, payment.movement,
             form->board().movements()[form->board().movementIndex(payment.movement)].version}};
        other.call(QStringLiteral("SetConciliacao"), {QStringLiteral("001"), pairingPacket(pairing)});
    });
    env.dialogs.clearShown();
    control<QToolButton>("sbtConciliar")->click();
    ASSERT_EQ(env.dialogs.errors().size(), 1) << env.dialogs.texts().join(u'|').toStdString();
    EXPECT_EQ(reconciliationOf(cheque), QStringLiteral("0  ")) << "nothing of the refused call was written";
    EXPECT_EQ(movementsOn("F1"), 0);
    EXPECT_EQ(reconciliationOf(payment),
              QStringLiteral("1 %1 %2").arg(statement, form->board().lines()[1].line));
    EXPECT_TRUE(form->board().lines()[1].reconciled) << "the screen shows what the other operator did";
    // The cheque's acceptance, which nobody touched, is still there: a second yes reconciles it alone.
    const QList<StatementPairing> pending = form->board().pendingPairings();
    ASSERT_EQ(pending.size(), 1);
    EXPECT_EQ(pending[0].movement, cheque.movement);
    env.dialogs.answer(QStringLiteral("Conf_Conciliar"), MsgButton::Yes);
    control<QToolButton>("sbtConciliar")->click();
    EXPECT_EQ(reconciliationOf(cheque),
              QStringLiteral("1 %1 %2").arg(statement, form->board().lines()[0].line));
    EXPECT_EQ(movementsOn("F1"), 1);
    EXPECT_TRUE(form->board().pendingPairings().isEmpty());
}

// Between the listing and the operator's include, another operator writes the fee's entry, of a day the
// proposals do not reach, and reconciles it with the fee's line: the include is refused on the line as it
// stands now, and the books hold the fee once.
TEST_F(ReconciliationForm, ALineAnotherOperatorPairedMeanwhileGetsNoSecondEntry) {
    openStatement();
    selectLine(3);
    const BoardLine fee = form->board().lines()[3];
    ASSERT_EQ(form->board().proposal(3), nullptr);
    EntryRequest theirs = entryOf('D', 1, 12.34, "Tarifa lançada pelo outro");
    include(theirs);
    SecondOperator(env.server(), QStringLiteral("DEMO"))
        .call(QStringLiteral("SetConciliacao"),
              {QStringLiteral("001"), pairingPacket({{fee.statement, fee.line, fee.version, theirs.movement,
                                                      QStringLiteral("1")}})});
    env.dialogs.clearShown();
    press(QKeySequence(Qt::CTRL | Qt::Key_I));
    EXPECT_EQ(env.dialogs.errors(), QStringList{"A linha já tem lançamento proposto, aceito ou conciliado: "
                                                "rejeite a proposta antes de incluir."});
    EXPECT_TRUE(Cli_bco11100::frmLancCCorr.isNull()) << "no include started";
    EXPECT_TRUE(form->board().lines()[3].reconciled) << "the screen shows what the other operator did";
    EXPECT_EQ(control<QTableWidget>("grdLinhas")->currentRow(), 3);
    EXPECT_EQ(env.value(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND "
                                       "IDMOVBANC = 'D' AND VRMOVBANC = 1234"))
                  .toInt(),
              1);
}

TEST_F(ReconciliationForm, AnIncludeFromALineIsWrittenWhenTheLineStillWantsIt) {
    openStatement();
    QPointer<Cli_bco11100::TfrmLancCCorr> entries = startFeeInclude();
    ASSERT_FALSE(entries.isNull());
    env.dialogs.clearShown();
    controlOf<QToolButton>(*entries, "sbtConfirmar")->click();
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(entries->CurrentMode(), Cli_bco11100::TfrmLancCCorr::Mode::Browsing);
    EXPECT_EQ(feesInTheBooks(), 1);
    // The screen, beside the entry form, shows at once the new entry proposed for its line.
    const BoardProposal *proposal = form->board().proposal(3);
    ASSERT_NE(proposal, nullptr);
    EXPECT_EQ(proposal->movements.size(), 1);
}

// The operator completes the include of the fee's line while another operator writes the fee, which the
// line now proposes: the confirm is refused, and the books hold the fee once.
TEST_F(ReconciliationForm, AnIncludeFromALineAnotherOperatorGaveAnEntryMeanwhileWritesNothing) {
    openStatement();
    QPointer<Cli_bco11100::TfrmLancCCorr> entries = startFeeInclude();
    ASSERT_FALSE(entries.isNull());
    EntryRequest theirs = entryOf('D', 13, 12.34, "Tarifa lançada pelo outro");
    include(theirs);
    env.dialogs.clearShown();
    controlOf<QToolButton>(*entries, "sbtConfirmar")->click();
    EXPECT_EQ(
        env.dialogs.errors(),
        QStringList{"A linha do extrato passou a ter lançamento proposto ou conciliado depois que a "
                    "inclusão começou (outro operador o incluiu): o lançamento não foi gravado. Cancele a "
                    "inclusão."});
    EXPECT_EQ(entries->CurrentMode(), Cli_bco11100::TfrmLancCCorr::Mode::Including);
    EXPECT_EQ(feesInTheBooks(), 1);
    // The screen beside it shows the line as it stands now, with the other operator's entry proposed.
    const BoardProposal *proposal = form->board().proposal(3);
    ASSERT_NE(proposal, nullptr);
    EXPECT_EQ(proposal->movements, QStringList{theirs.movement});
}

// A bank's document and history may be longer than an entry's fields: the include takes what fits and says
// what it left out.
TEST_F(ReconciliationForm, AnIncludeFromALineLongerThanTheEntrysFieldsSaysWhatWasCut) {
    const QString history = QStringLiteral("TARIFA DE MANUTENCAO DE CONTA CORRENTE PACOTE MAR/24");
    Cli_bco11100::CriaLancamento();
    QPointer<Cli_bco11100::TfrmLancCCorr> entries = Cli_bco11100::frmLancCCorr;
    ASSERT_FALSE(entries.isNull());
    // A fee of the statement's last day, as a line of the bank's gives it.
    const auto includeFee = [&entries, this](const QString &document, const QString &description) {
        env.dialogs.clearShown();
        entries->IniciaInclusao({.account = QStringLiteral("001"),
                                 .date = QDate(2024, 3, 13),
                                 .kind = u'D',
                                 .value = 12.34,
                                 .document = document,
                                 .description = description,
                                 .stillWanted = {}});
    };
    includeFee(QStringLiteral("ABCDEFGHIJKLMNOPQRST"), history);
    EXPECT_EQ(controlOf<TMaskEdit>(*entries, "medNrDocBanc")->Text(), QStringLiteral("ABCDEFGHIJ"));
    EXPECT_EQ(controlOf<QLineEdit>(*entries, "edtDsLancamento")->text(), history.left(40));
    ASSERT_EQ(env.dialogs.shown().size(), 1) << env.dialogs.texts().join(u'|').toStdString();
    const ScriptedDialogs::Shown &told = env.dialogs.shown().front();
    EXPECT_EQ(told.kind, MsgKind::Warning);
    EXPECT_EQ(told.key, QStringLiteral("Rascunho_Cortado"));
    EXPECT_EQ(told.details,
              QStringLiteral("Documento do extrato: \"ABCDEFGHIJKLMNOPQRST\" (o campo leva 10 caracteres)\n"
                             "Histórico do extrato: \"%1\" (o campo leva 40 caracteres)")
                  .arg(history));

    // What fits is taken without a word: a document padded with zeros past the field, once they are dropped.
    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
    controlOf<QToolButton>(*entries, "sbtCancelar")->click();
    includeFee(QStringLiteral("000000000000000000000000000000123456789"), QStringLiteral("TARIFA"));
    EXPECT_EQ(controlOf<TMaskEdit>(*entries, "medNrDocBanc")->Text(), QStringLiteral("0123456789"));
    EXPECT_EQ(env.dialogs.shown().size(), 0u) << env.dialogs.texts().join(u'|').toStdString();
}

TEST_F(ReconciliationForm, IncludesTheBankFeeFromItsLineThroughTheEntryFormsOwnInclude) {
    openStatement();
    // Only a line that nothing in the books stands for may become an entry.
    struct Refused {
        const char *name;
        int line;
    };
    for (const Refused &c :
         {Refused{"a line with a proposal", 0}, Refused{"a line with its pair accepted", 1}}) {
        SCOPED_TRACE(c.name);
        selectLine(c.line);
        if (c.line == 1)
            press(QKeySequence(Qt::CTRL | Qt::Key_E));
        env.dialogs.clearShown();
        control<QToolButton>("sbtIncluirLanc")->click();
        EXPECT_EQ(env.dialogs.errors(),
                  QStringList{"A linha já tem lançamento proposto, aceito ou conciliado: "
                              "rejeite a proposta antes de incluir."});
        EXPECT_TRUE(Cli_bco11100::frmLancCCorr.isNull());
    }

    selectLine(3);
    press(QKeySequence(Qt::CTRL | Qt::Key_I));
    QPointer<Cli_bco11100::TfrmLancCCorr> entries = Cli_bco11100::frmLancCCorr;
    ASSERT_FALSE(entries.isNull());
    ASSERT_EQ(entries->CurrentMode(), Cli_bco11100::TfrmLancCCorr::Mode::Including);
    EXPECT_EQ(QStringList({controlOf<TMaskEdit>(*entries, "medCdRedu")->Text(),
                           controlOf<QComboBox>(*entries, "cbbTipo")->currentText(),
                           controlOf<QLineEdit>(*entries, "edtDsLancamento")->text()}),
              QStringList({"001", "Débito", "LINHA F4"}));
    EXPECT_EQ(controlOf<TDateEditPlus>(*entries, "depDataMov")->GetDate(), QDate(2024, 3, 13));
    EXPECT_EQ(controlOf<TNumberEdit>(*entries, "nedLancamento")->Value(), 12.34);

    // The include's own checks run: without a type the confirm is refused.
    env.dialogs.clearShown();
    controlOf<QToolButton>(*entries, "sbtConfirmar")->click();
    EXPECT_EQ(entries->CurrentMode(), Cli_bco11100::TfrmLancCCorr::Mode::Including);
    EXPECT_EQ(env.dialogs.errors().size(), 1) << env.dialogs.texts().join(u'|').toStdString();
    EXPECT_EQ(
        env.value(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE DSHISMBANC = 'LINHA F4'")).toInt(),
        0);

    // The fee becomes an entry (here through the server, as the include would write it); back on the
    // reconciliation, its line finds it without the operator choosing the statement again.
    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
    controlOf<QToolButton>(*entries, "sbtCancelar")->click();
    EntryRequest fee = entryOf('D', 13, 12.34, "Tarifa do extrato");
    include(fee);
    form->RunFormActivate();
    EXPECT_EQ(form->board().pendingPairings().size(), 1) << "what the operator accepted is not thrown away";
    const BoardProposal *proposal = form->board().proposal(3);
    ASSERT_NE(proposal, nullptr);
    EXPECT_EQ(proposal->movements, QStringList{fee.movement});
}

} // namespace
} // namespace bco::testing
