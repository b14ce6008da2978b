#pragma once

#include <QDate>
#include <QDialog>
#include <QSqlQuery>
#include <QString>

#include "framework/session/login_context.h"

class QLineEdit;
class QPainter;
class QPrinter;
class QRectF;

namespace bco::host {

// What a cheque shows.
struct ChequeFace {
    QString bank;    // the bank's code and name
    QString account; // agency and account number
    QString number;  // the cheque's number
    qint64 cents = 0;
    QString payee;
    QString city;
    QDate date;
    QString reference; // what it pays, in small print: the account and the debit
};

// Draws the cheque on `painter` over `area` (a cheque is 175 × 80 mm): bank, agency and account, number and
// value in figures along the top; the amount in words on two lines filled out with asterisks, so that
// nothing can be added to it; the payee; the city and the date written out; the signature line.
void paintCheque(QPainter &painter, const QRectF &area, const ChequeFace &face);

// The cheque printing screen of the host's cheque library (Lib00900.CriaEmiteCheque): shows the cheque of
// a debit as it will be printed, with its payee (the debit's supplier, at first), its city and, for a debit
// without a cheque, its number (the account's next one, at first) to change; prints it on a printer the
// operator chooses or into a PDF file. A new cheque is recorded on the debit through the server
// (SetEmiteCheque) before it is printed, so that a cheque that was printed is never missing from the books;
// a debit that has its cheque already is printed again under the same number, recording nothing.
class ChequeEmissionDialog : public QDialog {
    Q_OBJECT
public:
    // Throws std::runtime_error for a request it cannot serve (an origin other than "L", an account or a
    // debit the shared database does not hold).
    explicit ChequeEmissionDialog(const ChequeRequest &request, QWidget *parent = nullptr);

    // The buttons "Imprimir..." and "Salvar PDF...": false when the operator cancelled the choice of the
    // printer or the file; the dialog is accepted once the cheque is out. Throw what went wrong, having set
    // Lib00900::boErroCriatela when the printer chosen is no longer there.
    bool printOnPrinter();
    bool saveAsPdf();

    // Why the screen closed itself: the printer it was given is gone (empty otherwise).
    const QString &printerLost() const { return printerLost_; }

    ChequeFace face() const;
    QLineEdit *payeeEdit() const { return payee_; }
    QLineEdit *numberEdit() const { return number_; }
    QLineEdit *cityEdit() const { return city_; }

private:
    void attempt(bool (ChequeEmissionDialog::*action)());
    // The account's next cheque number after the last one recorded; empty past the last six-digit one.
    QString nextChequeNumber() const;
    // Refuses what is typed that no cheque could carry, before a printer or a file is asked for.
    void checkTyped() const;
    bool emitTo(QPrinter &printer, bool onPaper);
    void record();
    // Whether the debit is gone from the shared database, or at another version than the form listed.
    bool debitWrittenSinceListed() const;
    // The debit's payee, cheque number and the cheque's situation, as the shared database holds them now;
    // throws when the debit is gone or its cheque was cleared or cancelled.
    QSqlQuery debitAsStored() const;
    void refreshPreview();

    ChequeRequest request_;
    ChequeFace fixed_;
    bool recorded_ = false;
    // The debit of a cheque printed again is gone, or its cheque no longer out: the screen closes.
    bool debitGone_ = false;
    QString printerLost_;
    QLineEdit *payee_ = nullptr;
    QLineEdit *number_ = nullptr;
    QLineEdit *city_ = nullptr;
    class ChequePreview *preview_ = nullptr;
};

// Shows the cheque printing screen modally; rethrows, after it closed, what its buttons could not do when
// that was the loss of the printer (the forms then restart the system), and shows any other failure in the
// screen itself, which stays open for another try unless the debit was written or deleted since the form
// listed it.
void chequeEmissionScreen(const ChequeRequest &request);

} // namespace bco::host
