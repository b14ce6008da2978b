#include <functional>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "framework/text/amount_in_words.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "framework/session/server_login.h"
#include "host/cheque_emission.h"
#include "support/second_operator.h"
#include "server/server_process.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_report_dialogs.h"

using namespace bco;
using namespace bco::host;
using bco::testing::SecondOperator;

namespace {

// The text of a PDF file as a reader extracts it.
QString pdfText(const QString &file) {
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        ADD_FAILURE() << "pdftotext could not read " << file.toStdString();
    return QString::fromUtf8(reader.readAllStandardOutput()).simplified();
}

qint64 count(const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(QStringLiteral("adcGeral")));
    return query.exec(sql) && query.next() ? query.value(0).toLongLong() : -1;
}

// The cheque screen against the real server and its demo database, as the host opens it.
class ChequeScreen : public ::testing::Test {
protected:
    void SetUp() override {
        const QString url = QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("demo.db"));
        server = std::make_unique<server::testing::ServerProcess>(
            url, QStringList{QStringLiteral("--init-demo"), QStringLiteral("--demo-entries"),
                             QStringLiteral("120")});
        openDatabase(DatabaseUrl::parse(url), QStringLiteral("adcGeral"));
        context.operatorCode = QStringLiteral("DEMO");
        context.processingBranch = QStringLiteral("0101");
        context.processingDate = QDate::currentDate();
        context.serverHost = server->host();
        context.serverPort = server->port();
        context.sessionToken =
            logIn(server->host(), server->port(), QStringLiteral("DEMO"), QStringLiteral("demo")).token;
        context.databaseConnection = QStringLiteral("adcGeral");
        installed = std::make_unique<ScopedLoginContext>(context);
        // Most of the demo's debits lie on days the blocked-date rule closes, and in accounting periods
        // closed, which the entry form checks before it opens this screen and the server again: the
        // screen's operator is released from the rule, and the periods are open.
        QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
            .exec(QStringLiteral("UPDATE OPERADOR SET IDLIBBLOQ = 'S' WHERE CDOPERADOR = 'DEMO'"));
        QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
            .exec(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A'"));
    }
    void TearDown() override {
        installed.reset();
        QSqlDatabase::database(QStringLiteral("adcGeral")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("adcGeral"));
    }

    // A debit of account 001 without a cheque, as the entry form asks for its cheque; one that an operator
    // may delete (no loan's, not reconciled).
    ChequeRequest debitWithoutCheque(int skip = 0) {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("adcGeral")));
        query.exec(QStringLiteral(
            "SELECT D.NRMOVIDEBI, D.DTMOVIDEBI, D.VRMOVIDEBI, M.NRVERSAO FROM MOVDEBIBANC D JOIN MOVBANCARIO "
            "M "
            "ON M.CDREDUCONT = D.CDREDUCONT AND M.NRMOVBANC = D.NRMOVBANC WHERE D.CDREDUCONT = '001' "
            "AND D.NRCHEQUE IS NULL AND M.NRSEQUENCIALEMP IS NULL ORDER BY D.NRMOVIDEBI"));
        for (int i = 0; i <= skip; ++i)
            EXPECT_TRUE(query.next());
        return {QStringLiteral("101"),
                QStringLiteral("101"),
                QStringLiteral("001"),
                QStringLiteral("01"),
                query.value(0).toString(),
                query.value(1).toDate(),
                query.value(2).toLongLong() / 100.0,
                QString(),
                QStringLiteral("L"),
                query.value(3).toString()};
    }

    qint64 chequesOf(const ChequeRequest &request) {
        return count(
            QStringLiteral("SELECT COUNT(*) FROM CHEQUE WHERE CDREDUCONT = '001' AND NRMOVIDEBI = '%1'")
                .arg(request.debit));
    }

    QTemporaryDir folder;
    std::unique_ptr<server::testing::ServerProcess> server;
    LoginContext context;
    std::unique_ptr<ScopedLoginContext> installed;
    ScriptedDialogs dialogs;
    ScriptedReportDialogs reports;
};

// The amount and the payee are written whole inside their boxes, however wide: smaller, never cut at the
// box's edges. Drawn at ten pixels a millimetre, the columns just inside each end of a box hold no ink (a
// payee is written from its box's left end, which it touches).
TEST(ChequeFaceTest, AWideAmountOrPayeeIsWrittenSmallerWithinItsBox) {
    struct Box {
        const char *name;
        int left, right, top, bottom; // millimetres
        bool centred;
    };
    const Box boxes[] = {{"the amount", 131, 169, 4, 11, true}, {"the payee", 12, 142, 40, 44, false}};
    const auto faceOf = [](qint64 cents, const QString &payee) {
        ChequeFace face;
        face.number = QStringLiteral("000001");
        face.cents = cents;
        face.payee = payee;
        face.date = QDate(2024, 3, 15);
        return face;
    };
    const ChequeFace faces[] = {
        faceOf(999999999999999, QStringLiteral("Curto")),
        faceOf(100,
               QStringLiteral("Companhia Brasileira de Distribuição de Materiais Elétricos e Hidráulicos "
                              "do Nordeste Ltda")),
    };
    for (const ChequeFace &face : faces) {
        SCOPED_TRACE(face.payee.toStdString());
        QImage image(1750, 800, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paintCheque(painter, QRectF(0, 0, 1750, 800), face);
        }
        for (const Box &box : boxes) {
            SCOPED_TRACE(box.name);
            const auto inked = [&](int column) {
                for (int row = box.top * 10; row < box.bottom * 10; ++row)
                    if (qGray(image.pixel(column, row)) < 128)
                        return true;
                return false;
            };
            QList<int> columns{box.right * 10 - 2, box.right * 10 - 1};
            if (box.centred)
                columns << box.left * 10 + 1 << box.left * 10 + 2;
            for (const int column : columns)
                EXPECT_FALSE(inked(column)) << "ink at column " << column;
        }
    }
}

// After the last number of six digits there is no next one to offer: cut to six digits, 1000000 would have
// offered 100000 again.
TEST_F(ChequeScreen, OffersNoNumberPastTheLastOneOfSixDigits) {
    QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
        .exec(QStringLiteral("INSERT INTO CHEQUE (CDREDUCONT, NRCHEQUE, DTEMISSAO, VRCHEQUE, IDSITUCHEQ) "
                             "VALUES ('001', '999999', '2024-03-15', 100, 'E')"));
    ChequeEmissionDialog screen(debitWithoutCheque());
    EXPECT_EQ(screen.numberEdit()->text(), QString());
}

TEST_F(ChequeScreen, RecordsANewChequeOnItsDebitAndPrintsItWithTheAmountInWords) {
    const ChequeRequest request = debitWithoutCheque();
    const qint64 cheques = count(QStringLiteral("SELECT COUNT(*) FROM CHEQUE"));
    // A file that cannot be written records nothing: the cheque goes on the books once it can be printed.
    reports.pdfFile = QStringLiteral("/nenhuma/pasta/cheque.pdf");
    {
        ChequeEmissionDialog screen(request);
        EXPECT_THROW(screen.saveAsPdf(), std::runtime_error);
        EXPECT_EQ(chequesOf(request), 0);
    }
    reports.pdfFile = folder.filePath(QStringLiteral("cheque.pdf"));
    {
        ChequeEmissionDialog screen(request);
        const QString proposed = screen.numberEdit()->text();
        EXPECT_EQ(proposed.size(), 6) << "the account's next number";
        screen.payeeEdit()->setText(QStringLiteral("Energia Limpa S.A."));
        screen.cityEdit()->setText(QStringLiteral("Curitiba"));
        ASSERT_TRUE(screen.saveAsPdf());
        EXPECT_EQ(screen.result(), QDialog::Accepted);
        const QString text = pdfText(reports.pdfFile);
        for (const QString &shown :
             {QStringLiteral("Pague por este cheque a quantia de"),
              amountInWords(qRound64(request.value * 100)), QStringLiteral("Energia Limpa S.A."),
              QStringLiteral("Curitiba"), QStringLiteral("Cheque Nº ") + proposed})
            EXPECT_TRUE(text.contains(shown)) << shown.toStdString() << " in " << text.toStdString();
        EXPECT_EQ(count(QStringLiteral(
                            "SELECT COUNT(*) FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVIDEBI = '%1' "
                            "AND NRCHEQUE = '%2'")
                            .arg(request.debit, proposed)),
                  1);
    }
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM CHEQUE")), cheques + 1);

    // Opened again, the screen prints the same cheque, to the same payee, and records nothing.
    {
        ChequeEmissionDialog again(request);
        EXPECT_TRUE(again.numberEdit()->isReadOnly());
        EXPECT_TRUE(again.payeeEdit()->isReadOnly());
        EXPECT_EQ(again.payeeEdit()->text(), QStringLiteral("Energia Limpa S.A."));
        ASSERT_TRUE(again.saveAsPdf());
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM CHEQUE")), cheques + 1);
    }
    // Once cleared or cancelled, it is not printed again.
    for (const char *situation : {"D", "C"}) {
        SCOPED_TRACE(situation);
        QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
            .exec(
                QStringLiteral("UPDATE CHEQUE SET IDSITUCHEQ = '%1' WHERE CDREDUCONT = '001' AND NRMOVIDEBI "
                               "= '%2'")
                    .arg(QLatin1String(situation), request.debit));
        EXPECT_THROW(ChequeEmissionDialog{request}, std::runtime_error);
    }
}

// What is typed or pasted past a field's width is refused whole, never cut to another number or name.
TEST_F(ChequeScreen, AFieldPastItsWidthIsRefusedNotCut) {
    const ChequeRequest request = debitWithoutCheque(5);
    reports.pdfFile = folder.filePath(QStringLiteral("largo.pdf"));
    const struct Case {
        const char *name;
        std::function<void(ChequeEmissionDialog &)> type;
        const char *refusal;
    } cases[] = {
        {"a number of seven digits",
         [](ChequeEmissionDialog &screen) { screen.numberEdit()->setText(QStringLiteral("0123457")); },
         "de 1 a 6 algarismos"},
        {"a payee of 61 characters",
         [](ChequeEmissionDialog &screen) { screen.payeeEdit()->setText(QString(61, u'P')); },
         "60 caracteres"},
        {"a city of 41 characters",
         [](ChequeEmissionDialog &screen) { screen.cityEdit()->setText(QString(41, u'C')); },
         "A cidade do cheque passa de 40 caracteres."},
        {"a number with a blank",
         [](ChequeEmissionDialog &screen) { screen.numberEdit()->setText(QStringLiteral("12 3")); },
         "Número de cheque inválido: \"12 3\" (de 1 a 6 algarismos, não todos zero)."},
        {"a number of zeros",
         [](ChequeEmissionDialog &screen) { screen.numberEdit()->setText(QStringLiteral("000000")); },
         "Número de cheque inválido: \"000000\" (de 1 a 6 algarismos, não todos zero)."},
        {"a number of letters",
         [](ChequeEmissionDialog &screen) { screen.numberEdit()->setText(QStringLiteral("abc")); },
         "Número de cheque inválido: \"abc\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ChequeEmissionDialog screen(request);
        c.type(screen);
        try {
            screen.saveAsPdf();
            ADD_FAILURE() << "taken";
        } catch (const std::runtime_error &error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QString::fromUtf8(c.refusal)))
                << error.what();
        }
        EXPECT_EQ(chequesOf(request), 0);
        EXPECT_FALSE(QFileInfo::exists(reports.pdfFile));
        EXPECT_FALSE(reports.asked.contains(u"Gerar PDF")) << "refused before a file is asked for";
        reports.asked.clear();
    }
}

// The supplier's name is only offered for a new cheque: one recorded without a payee is printed again
// without one.
TEST_F(ChequeScreen, AChequeRecordedWithoutAPayeeIsPrintedAgainWithoutOne) {
    QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
        .exec(QStringLiteral("UPDATE MOVDEBIBANC SET CDFORNECED = (SELECT MIN(CDFORNECED) FROM FORNECED) "
                             "WHERE CDREDUCONT = '001' AND NRMOVIDEBI = '%1'")
                  .arg(debitWithoutCheque().debit));
    const ChequeRequest request = debitWithoutCheque(); // at the version the change gave it
    reports.pdfFile = folder.filePath(QStringLiteral("cheque.pdf"));
    {
        ChequeEmissionDialog screen(request);
        ASSERT_FALSE(screen.payeeEdit()->text().isEmpty()) << "the supplier is offered";
        screen.payeeEdit()->clear();
        ASSERT_TRUE(screen.saveAsPdf());
    }
    ChequeEmissionDialog again(request);
    EXPECT_EQ(again.payeeEdit()->text(), QString());
}

TEST_F(ChequeScreen, ClosesWithoutRecordingWhenItsPrinterIsGoneAndRefusesWhatItCannotServe) {
    const ChequeRequest request = debitWithoutCheque(1);
    const qint64 cheques = count(QStringLiteral("SELECT COUNT(*) FROM CHEQUE"));
    reports.printerGone = true;
    Lib00900::boErroCriatela = false;
    ChequeEmissionDialog screen(request);
    screen.findChild<QPushButton *>(QStringLiteral("btnImprimir"))->click();
    EXPECT_TRUE(Lib00900::boErroCriatela);
    EXPECT_EQ(screen.result(), QDialog::Rejected);
    EXPECT_TRUE(screen.printerLost().contains(QStringLiteral("não está mais instalada")))
        << screen.printerLost().toStdString();
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM CHEQUE")), cheques);
    EXPECT_EQ(dialogs.texts(), QStringList()) << "the form tells the operator, not the screen";

    ChequeRequest otherOrigin = request;
    otherOrigin.origin = QStringLiteral("P");
    EXPECT_THROW(ChequeEmissionDialog{otherOrigin}, std::runtime_error);
    ChequeRequest unknownDebit = request;
    unknownDebit.debit = QStringLiteral("0099999999");
    EXPECT_THROW(ChequeEmissionDialog{unknownDebit}, std::runtime_error);
}

// Two screens at once: what another operator recorded meanwhile is refused. A number taken leaves the screen
// for another one; a debit that got its cheque from the other screen closes it, since no number could do.
TEST_F(ChequeScreen, WhatAnotherScreenRecordedMeanwhileIsRefusedAndOnlyAStaleDebitClosesTheScreen) {
    const ChequeRequest first = debitWithoutCheque(2);
    const ChequeRequest second = debitWithoutCheque(3);
    Lib00900::boErroCriatela = false; // as the entry form leaves it before it opens the screen
    reports.pdfFile = folder.filePath(QStringLiteral("cheque.pdf"));

    ChequeEmissionDialog mine(first);
    ChequeEmissionDialog theirs(second);
    mine.show();
    ASSERT_EQ(mine.numberEdit()->text(), theirs.numberEdit()->text())
        << "both offer the account's next number";
    ASSERT_TRUE(theirs.saveAsPdf());
    mine.findChild<QPushButton *>(QStringLiteral("btnPdf"))->click();
    ASSERT_EQ(dialogs.errors().size(), 1) << dialogs.texts().join(u'|').toStdString();
    EXPECT_TRUE(dialogs.errors()[0].contains(u"já foi emitido")) << dialogs.errors()[0].toStdString();
    EXPECT_TRUE(mine.isVisible()) << "the number can be changed";
    EXPECT_EQ(chequesOf(first), 0);
    // The next number free is offered in its place, and told.
    const QString offered =
        QStringLiteral("%1").arg(theirs.numberEdit()->text().toInt() + 1, 6, 10, QLatin1Char('0'));
    EXPECT_EQ(mine.numberEdit()->text(), offered);
    EXPECT_TRUE(dialogs.errors()[0].contains(
        QStringLiteral("O próximo número livre, %1, foi posto no campo").arg(offered)))
        << dialogs.errors()[0].toStdString();
    ASSERT_TRUE(mine.saveAsPdf());
    EXPECT_EQ(chequesOf(first), 1);

    const ChequeRequest third = debitWithoutCheque(4);
    ChequeEmissionDialog stale(third);
    ChequeEmissionDialog meanwhile(third);
    stale.show();
    // Both offer the same number, which the other screen takes with the debit.
    const QString taken = meanwhile.numberEdit()->text();
    ASSERT_EQ(stale.numberEdit()->text(), taken);
    ASSERT_TRUE(meanwhile.saveAsPdf());
    dialogs.clearShown();
    stale.findChild<QPushButton *>(QStringLiteral("btnPdf"))->click();
    ASSERT_EQ(dialogs.errors().size(), 1) << dialogs.texts().join(u'|').toStdString();
    EXPECT_FALSE(stale.isVisible()) << "the screen closed behind the server's words";
    // Told by what the operator sees of the debit, and offered no number for a screen that is gone.
    EXPECT_TRUE(dialogs.errors()[0].startsWith(
        QStringLiteral("O débito de %1, valor ").arg(third.date.toString(u"dd/MM/yyyy"))))
        << dialogs.errors()[0].toStdString();
    EXPECT_FALSE(dialogs.errors()[0].contains(u"próximo número")) << dialogs.errors()[0].toStdString();
    EXPECT_EQ(chequesOf(third), 1);
    EXPECT_EQ(
        count(QStringLiteral("SELECT COUNT(*) FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVIDEBI = "
                             "'%1' AND NRCHEQUE = '%2'")
                  .arg(third.debit, taken)),
        1);
}

// The screen opened on a debit that has its cheque prints it again; another operator deletes the debit, or
// the bank clears the cheque, before the operator prints. The cheque goes out only while the debit still
// holds it, and the screen closes on a refusal, with nothing written.
TEST_F(ChequeScreen, AChequeIsPrintedAgainOnlyWhileItsDebitStillHoldsIt) {
    SecondOperator other(
        server->host(), server->port(),
        logIn(server->host(), server->port(), QStringLiteral("SUPERV"), QStringLiteral("demo")).token,
        context.processingDate);
    const struct Case {
        const char *name;
        std::function<void(const ChequeRequest &, const QString &movement)> meanwhile;
        QString refusal; // empty: printed
    } cases[] = {
        {"nothing", [](const ChequeRequest &, const QString &) {}, {}},
        {"the debit deleted",
         [&](const ChequeRequest &, const QString &movement) {
             other.deleteEntry(QStringLiteral("001"), movement);
         },
         QStringLiteral("não encontrado na conta corrente 001")},
        {"the cheque cleared",
         [](const ChequeRequest &request, const QString &) {
             QSqlQuery(QSqlDatabase::database(QStringLiteral("adcGeral")))
                 .exec(QStringLiteral("UPDATE CHEQUE SET IDSITUCHEQ = 'D' WHERE CDREDUCONT = '001' AND "
                                      "NRMOVIDEBI = '%1'")
                           .arg(request.debit));
         },
         QStringLiteral("está compensado: não é impresso de novo")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // Each case's debit gets its cheque: the next case's is the next without one.
        const ChequeRequest request = debitWithoutCheque(5);
        QSqlQuery movement(QSqlDatabase::database(QStringLiteral("adcGeral")));
        movement.exec(
            QStringLiteral("SELECT NRMOVBANC FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVIDEBI "
                           "= '%1'")
                .arg(request.debit));
        ASSERT_TRUE(movement.next());
        const QString movementNumber = movement.value(0).toString();
        movement.finish(); // an open query would keep the screen's reads on what the database held before
        reports.pdfFile = folder.filePath(QStringLiteral("primeiro.pdf"));
        ASSERT_TRUE(ChequeEmissionDialog(request).saveAsPdf());

        ChequeEmissionDialog again(request);
        ASSERT_TRUE(again.numberEdit()->isReadOnly()) << "printed again";
        again.show();
        c.meanwhile(request, movementNumber);
        dialogs.clearShown();
        reports.pdfFile = folder.filePath(QStringLiteral("de-novo.pdf"));
        again.findChild<QPushButton *>(QStringLiteral("btnPdf"))->click();
        EXPECT_FALSE(again.isVisible());
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(dialogs.errors(), QStringList());
            EXPECT_TRUE(QFile::remove(reports.pdfFile)) << "printed again";
            continue;
        }
        ASSERT_EQ(dialogs.errors().size(), 1) << dialogs.texts().join(u'|').toStdString();
        EXPECT_TRUE(dialogs.errors()[0].contains(c.refusal)) << dialogs.errors()[0].toStdString();
        EXPECT_FALSE(QFile::exists(reports.pdfFile)) << "nothing printed";
    }
}

} // namespace
