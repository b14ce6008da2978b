#include "host/cheque_emission.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSettings>
#include <QSqlQuery>
#include <QVBoxLayout>

#include "framework/text/amount_in_words.h"
#include "framework/checks/dialogs.h"
#include "framework/text/edit_mask.h"
#include "framework/remote/net_connection.h"
#include "framework/session/shared_database.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/one_line_text.h"
#include "framework/ui/report/report_dialogs.h"

namespace bco::host {

namespace {

const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
constexpr double ChequeWidthMm = 175.0;
constexpr double ChequeHeightMm = 80.0;
constexpr int MaxChequeNumber = 999999;
// What the cheque's line for its city holds.
constexpr int MaxCityLength = 40;
// What the cheque's NMFAVORECIDO holds.
constexpr int MaxPayeeLength = 60;

[[noreturn]] void fail(const QString &message) {
    throw std::runtime_error(message.toStdString());
}

// The first row of a query on the shared database, or nothing.
std::optional<QSqlQuery> firstRow(const QString &sql, const QVariantList &values) {
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query;
}

// Cuts `words` into lines no wider than `width`, the last filled out with asterisks.
QStringList fillLines(const QString &words, const QFontMetricsF &metrics, double width, int lines) {
    QStringList out;
    QString current;
    for (const QString &word : words.split(u' ')) {
        const QString tried = current.isEmpty() ? word : current + u' ' + word;
        if (metrics.horizontalAdvance(tried) > width && !current.isEmpty() && out.size() < lines - 1) {
            out << current;
            current = word;
        } else {
            current = tried;
        }
    }
    out << current;
    while (out.size() < lines)
        out << QString();
    for (QString &line : out) {
        QString filled = line.isEmpty() ? QString() : line + u' ';
        while (metrics.horizontalAdvance(filled + u'*') <= width)
            filled += u'*';
        line = filled;
    }
    return out;
}

} // namespace

void paintCheque(QPainter &painter, const QRectF &area, const ChequeFace &face) {
    painter.save();
    painter.translate(area.topLeft());
    // Everything below is laid out in millimetres of a cheque.
    const double scale = std::min(area.width() / ChequeWidthMm, area.height() / ChequeHeightMm);
    painter.scale(scale, scale);
    const QRectF cheque(0, 0, ChequeWidthMm, ChequeHeightMm);
    painter.fillRect(cheque, QColor(0xF4, 0xF8, 0xF4));
    painter.setPen(QPen(Qt::darkGray, 0.3));
    painter.drawRect(cheque);

    QFont font = painter.font();
    const auto setSize = [&](double millimetres, bool bold = false) {
        font.setPixelSize(std::max(1, qRound(millimetres * 10)));
        font.setBold(bold);
        painter.setFont(font);
    };
    // Text is drawn at ten times the size and scaled back, so that small print keeps its shape.
    const auto text = [&](const QRectF &box, int flags, const QString &value) {
        painter.save();
        painter.scale(0.1, 0.1);
        painter.drawText(QRectF(box.x() * 10, box.y() * 10, box.width() * 10, box.height() * 10), flags,
                         value);
        painter.restore();
    };
    painter.setPen(Qt::black);
    setSize(3.2, true);
    text({5, 4, 80, 6}, Qt::AlignLeft | Qt::AlignVCenter, face.bank);
    setSize(2.6);
    text({5, 10, 80, 5}, Qt::AlignLeft | Qt::AlignVCenter, face.account);
    text({88, 4, 40, 6}, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Cheque Nº %1").arg(face.number));
    // A figure or a name too wide for its box at its size is written smaller: cut at the box's edges, a
    // cheque would show "9.999.999.999.999," for its amount.
    const auto setSizeToFit = [&](double millimetres, bool bold, double widthMm, const QString &value) {
        QFont measured = font;
        measured.setBold(bold);
        for (; millimetres > 1.0; millimetres -= 0.1) {
            measured.setPixelSize(qRound(millimetres * 10));
            if (QFontMetricsF(measured).horizontalAdvance(value) <= widthMm * 10)
                break;
        }
        setSize(millimetres, bold);
    };
    painter.setPen(QPen(Qt::black, 0.3));
    painter.drawRect(QRectF(130, 3, 40, 9));
    const QString amount = QStringLiteral("R$ ") + brazil.toString(face.cents / 100.0, 'f', 2);
    setSizeToFit(3.4, true, 37, amount);
    text({131, 3, 38, 9}, Qt::AlignCenter, amount);

    setSize(2.6);
    text({5, 18, 60, 5}, Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Pague por este cheque a quantia de"));
    setSize(3.2);
    QFont measured = font;
    measured.setPixelSize(32);
    const QStringList words = fillLines(amountInWords(face.cents), QFontMetricsF(measured), 1600, 2);
    text({5, 23, 165, 6}, Qt::AlignLeft | Qt::AlignVCenter, words.value(0));
    text({5, 30, 165, 6}, Qt::AlignLeft | Qt::AlignVCenter, words.value(1));
    setSize(2.6);
    text({5, 39, 10, 6}, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("a"));
    setSizeToFit(3.2, false, 127, face.payee);
    text({12, 39, 130, 6}, Qt::AlignLeft | Qt::AlignVCenter, face.payee);
    setSize(2.6);
    text({140, 39, 30, 6}, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ou à sua ordem"));
    painter.setPen(QPen(Qt::gray, 0.2));
    for (const double y : {29.0, 36.0, 45.0})
        painter.drawLine(QPointF(5, y), QPointF(170, y));

    painter.setPen(Qt::black);
    const QString city =
        face.city.trimmed().isEmpty() ? QStringLiteral("__________________") : face.city.trimmed();
    text({70, 50, 100, 6}, Qt::AlignRight | Qt::AlignVCenter,
         QStringLiteral("%1, %2").arg(city,
                                      brazil.toString(face.date, QStringLiteral("d 'de' MMMM 'de' yyyy"))));
    painter.setPen(QPen(Qt::black, 0.3));
    painter.drawLine(QPointF(100, 68), QPointF(170, 68));
    setSize(2.2);
    text({100, 69, 70, 4}, Qt::AlignCenter, QStringLiteral("Assinatura"));
    text({5, 72, 90, 4}, Qt::AlignLeft | Qt::AlignVCenter, face.reference);
    painter.restore();
}

// The cheque as it will come out, redrawn as the operator types.
class ChequePreview : public QFrame {
public:
    explicit ChequePreview(QWidget *parent)
        : QFrame(parent) {
        setMinimumSize(525, 240);
    }
    void show(const ChequeFace &face) {
        face_ = face;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        paintCheque(painter, QRectF(rect()).adjusted(4, 4, -4, -4), face_);
    }

private:
    ChequeFace face_;
};

ChequeEmissionDialog::ChequeEmissionDialog(const ChequeRequest &request, QWidget *parent)
    : QDialog(parent)
    , request_(request) {
    if (request.origin != u"L")
        fail(QStringLiteral("Origem de cheque desconhecida: \"%1\".").arg(request.origin.left(10)));
    const auto account = firstRow(
        QStringLiteral(
            "SELECT C.CDBANCO, B.NMBANCO, C.CDAGENCIA, C.CDCONTCORR, B.CDPICTAGEN, B.CDPICTCONT FROM "
            "CONTCORR C JOIN BANCO B ON B.CDBANCO = C.CDBANCO WHERE C.CDREDUCONT = ?"),
        {request.account});
    if (!account)
        fail(QStringLiteral("Conta corrente %1 não cadastrada.").arg(request.account));
    const QSqlQuery debit = debitAsStored();

    fixed_.bank = QStringLiteral("%1 %2").arg(account->value(0).toString(), account->value(1).toString());
    // As the bank prints them on its cheques: through its pictures.
    fixed_.account =
        QStringLiteral("Agência %1   Conta %2")
            .arg(FormatThroughPicture(account->value(4).toString(), account->value(2).toString()),
                 FormatThroughPicture(account->value(5).toString(), account->value(3).toString()));
    fixed_.cents = qRound64(std::abs(request.value) * 100);
    fixed_.date = request.date;
    fixed_.reference = QStringLiteral("Conta corrente %1 · débito %2").arg(request.account, request.debit);
    // A debit that has its cheque is printed again under that number; what the form believes comes second.
    QString cheque = debit.value(1).toString().trimmed();
    if (cheque.isEmpty())
        cheque = request.cheque.trimmed();
    recorded_ = !cheque.isEmpty();
    if (!recorded_)
        cheque = nextChequeNumber();

    setWindowTitle(QStringLiteral("Emissão de Cheque"));
    auto *layout = new QVBoxLayout(this);
    preview_ = new ChequePreview(this);
    layout->addWidget(preview_);
    auto *fields = new QFormLayout;
    // No field cuts what is typed or pasted to its width: "0123457" pasted would become cheque 012345. The
    // server refuses a number or a payee past theirs, and the city is checked before anything is recorded.
    number_ = new QLineEdit(cheque, this);
    number_->setObjectName(QStringLiteral("edtNrCheque"));
    number_->setReadOnly(recorded_);
    payee_ = new QLineEdit(debit.value(0).toString(), this);
    payee_->setObjectName(QStringLiteral("edtFavorecido"));
    payee_->setReadOnly(recorded_);
    city_ = new QLineEdit(QSettings().value(QStringLiteral("cheque/cidade")).toString(), this);
    city_->setObjectName(QStringLiteral("edtCidade"));
    for (QLineEdit *edit : {number_, payee_, city_})
        bco::keepOnOneLine(*edit);
    fields->addRow(QStringLiteral("Número do cheque"), number_);
    fields->addRow(QStringLiteral("Favorecido"), payee_);
    fields->addRow(QStringLiteral("Cidade"), city_);
    layout->addLayout(fields);
    if (recorded_)
        layout->addWidget(new QLabel(
            QStringLiteral("Este débito já tem o cheque %1: ele será impresso de novo.").arg(cheque), this));
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *print = buttons->addButton(QStringLiteral("Imprimir..."), QDialogButtonBox::ActionRole);
    QPushButton *pdf = buttons->addButton(QStringLiteral("Salvar PDF..."), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    print->setObjectName(QStringLiteral("btnImprimir"));
    pdf->setObjectName(QStringLiteral("btnPdf"));
    layout->addWidget(buttons);
    connectGuarded(print, &QPushButton::clicked, this,
                   [this](bool) { attempt(&ChequeEmissionDialog::printOnPrinter); });
    connectGuarded(pdf, &QPushButton::clicked, this,
                   [this](bool) { attempt(&ChequeEmissionDialog::saveAsPdf); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit *edit : {number_, payee_, city_})
        connect(edit, &QLineEdit::textChanged, this, [this] { refreshPreview(); });
    refreshPreview();
}

QString ChequeEmissionDialog::nextChequeNumber() const {
    const auto last =
        firstRow(QStringLiteral("SELECT MAX(NRCHEQUE) FROM CHEQUE WHERE CDREDUCONT = ?"), {request_.account});
    const int next = last ? last->value(0).toString().toInt() + 1 : 1;
    // A cheque's number has six digits: past the last one there is none to offer (cut to six, the seventh
    // digit would have offered 100000 again), and the operator types the new book's first.
    return next <= MaxChequeNumber ? QStringLiteral("%1").arg(next, 6, 10, QLatin1Char('0')) : QString();
}

QSqlQuery ChequeEmissionDialog::debitAsStored() const {
    // A cheque printed again keeps the payee it was recorded with, none included; only a new one is
    // offered the supplier's name.
    auto debit = firstRow(
        QStringLiteral("SELECT CASE WHEN Q.NRCHEQUE IS NULL THEN F.NMRAZSOCFORN ELSE Q.NMFAVORECIDO END, "
                       "D.NRCHEQUE, Q.IDSITUCHEQ FROM "
                       "MOVDEBIBANC D LEFT JOIN FORNECED F ON F.CDFORNECED = D.CDFORNECED "
                       "LEFT JOIN CHEQUE Q ON Q.CDREDUCONT = D.CDREDUCONT AND Q.NRCHEQUE = "
                       "D.NRCHEQUE WHERE D.CDREDUCONT = ? AND D.NRMOVIDEBI = ?"),
        {request_.account, request_.debit});
    if (!debit)
        fail(QStringLiteral("Débito %1 não encontrado na conta corrente %2.")
                 .arg(request_.debit, request_.account));
    // Only a cheque still out is printed again: a cleared one was paid, a cancelled one must not be.
    const QString situation = debit->value(2).toString();
    if (situation == u"D" || situation == u"C")
        fail(QStringLiteral("O cheque %1 deste débito está %2: não é impresso de novo.")
                 .arg(debit->value(1).toString().trimmed(),
                      situation == u"D" ? QStringLiteral("compensado") : QStringLiteral("cancelado")));
    return std::move(*debit);
}

ChequeFace ChequeEmissionDialog::face() const {
    ChequeFace face = fixed_;
    face.number = number_->text().trimmed();
    face.payee = payee_->text().trimmed();
    face.city = city_->text().trimmed();
    return face;
}

void ChequeEmissionDialog::refreshPreview() {
    preview_->show(face());
}

void ChequeEmissionDialog::attempt(bool (ChequeEmissionDialog::*action)()) {
    try {
        (this->*action)();
    } catch (const std::exception &error) {
        if (!Lib00900::boErroCriatela) {
            // A debit someone deleted or wrote since the form listed it can get no cheque from this screen,
            // whatever is typed into it: the screen closes behind the server's words, and the form lists
            // the account again. Any other refusal leaves the screen for another try.
            if (debitGone_ || (!recorded_ && debitWrittenSinceListed()))
                reject();
            throw; // shown by the event guard
        }
        // Without its printer the screen can do nothing more: it closes and its caller is told.
        printerLost_ = QString::fromUtf8(error.what());
        reject();
    }
}

void ChequeEmissionDialog::checkTyped() const {
    // A new cheque's number, as the server takes it: the preview would show, and the printer dialog come
    // before the server refused, "12 3" or "abc".
    static const QRegularExpression chequeNumber(QStringLiteral("^[0-9]{1,6}$"));
    const QString number = number_->text().trimmed();
    if (!recorded_ && (!chequeNumber.match(number).hasMatch() || number.toInt() == 0))
        fail(QStringLiteral("Número de cheque inválido: \"%1\" (de 1 a 6 algarismos, não todos zero).")
                 .arg(number.left(20)));
    if (!recorded_ && payee_->text().trimmed().size() > MaxPayeeLength)
        fail(QStringLiteral("O favorecido do cheque passa de %1 caracteres.").arg(MaxPayeeLength));
    if (city_->text().trimmed().size() > MaxCityLength)
        fail(QStringLiteral("A cidade do cheque passa de %1 caracteres.").arg(MaxCityLength));
}

bool ChequeEmissionDialog::printOnPrinter() {
    checkTyped();
    QPrinter printer(QPrinter::HighResolution);
    if (!Dialogs::reports().choosePrinter(printer))
        return false;
    // A printer removed since the platform listed it must stop the screen before a cheque is recorded.
    const bool usable = printer.isValid() && (printer.outputFormat() == QPrinter::NativeFormat
                                                  ? !QPrinterInfo::printerInfo(printer.printerName()).isNull()
                                                  : !printer.outputFileName().isEmpty());
    if (!usable) {
        Lib00900::boErroCriatela = true;
        fail(QStringLiteral("A impressora \"%1\" não está mais instalada.").arg(printer.printerName()));
    }
    return emitTo(printer, true);
}

bool ChequeEmissionDialog::saveAsPdf() {
    checkTyped();
    const auto file = Dialogs::reports().pdfFileName(
        QStringLiteral("cheque-%1-%2.pdf").arg(request_.account, number_->text().trimmed()));
    if (!file)
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*file);
    return emitTo(printer, false);
}

bool ChequeEmissionDialog::emitTo(QPrinter &printer, bool onPaper) {
    // A page size is portrait by definition: the cheque is the landscape of its narrow side.
    printer.setPageLayout(QPageLayout(QPageSize(QSizeF(ChequeHeightMm, ChequeWidthMm), QPageSize::Millimeter),
                                      QPageLayout::Landscape, QMarginsF(), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (onPaper) {
            Lib00900::boErroCriatela = true;
            fail(
                QStringLiteral("Não foi possível imprimir na impressora \"%1\".").arg(printer.printerName()));
        }
        fail(QStringLiteral("Não foi possível gravar o arquivo %1.").arg(printer.outputFileName()));
    }
    // Recorded once the printer or the file is open, so that no cheque goes on the books that nothing could
    // print; and before it is painted, under the number the server gave it. A refusal prints nothing.
    try {
        record();
    } catch (...) {
        printer.abort();
        painter.end();
        if (!onPaper)
            QFile::remove(printer.outputFileName());
        throw;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    paintCheque(painter, printer.pageLayout().paintRectPixels(printer.resolution()), face());
    if (!painter.end())
        fail(QStringLiteral("O cheque %1 foi registrado no débito, mas não foi possível terminar de %2; "
                            "\"Emitir Cheque\" o imprime de novo com o mesmo número.")
                 .arg(number_->text().trimmed(),
                      onPaper ? QStringLiteral("imprimi-lo") : QStringLiteral("gravar o arquivo")));
    QSettings().setValue(QStringLiteral("cheque/cidade"), city_->text().trimmed());
    accept();
    return true;
}

bool ChequeEmissionDialog::debitWrittenSinceListed() const {
    if (request_.entryVersion.isEmpty())
        return false;
    const auto stored =
        firstRow(QStringLiteral(
                     "SELECT M.NRVERSAO FROM MOVDEBIBANC D JOIN MOVBANCARIO M ON M.CDREDUCONT = D.CDREDUCONT "
                     "AND M.NRMOVBANC = D.NRMOVBANC WHERE D.CDREDUCONT = ? AND D.NRMOVIDEBI = ?"),
                 {request_.account, request_.debit});
    return !stored || stored->value(0).toLongLong() != request_.entryVersion.toLongLong();
}

void ChequeEmissionDialog::record() {
    if (recorded_) {
        // A cheque printed again goes out on what the books hold now, not on what they held when the screen
        // opened: another operator may have deleted the debit, or the bank cleared the cheque, meanwhile.
        try {
            const QSqlQuery debit = debitAsStored();
            if (debit.value(1).toString().trimmed() != number_->text().trimmed())
                fail(QStringLiteral("O débito %1 não tem mais o cheque %2: não é impresso de novo.")
                         .arg(request_.debit, number_->text().trimmed()));
        } catch (...) {
            debitGone_ = true;
            throw;
        }
        return;
    }
    NetConnection server;
    Ondrima::PrepareConnection(server);
    VariantList args{request_.account, request_.debit, number_->text().trimmed(),
                     request_.date,    request_.value, payee_->text().trimmed()};
    if (!request_.entryVersion.isEmpty())
        args.push_back(request_.entryVersion);
    const RemoteResult answer = server.Call(QStringLiteral("SetEmiteCheque"), args);
    if (!answer.ok()) {
        // The number another screen took meanwhile: the next one free is offered, as when the screen opened,
        // while the screen stays for another number (a debit written since, its cheque given by another
        // screen among others, closes it).
        const QString typed =
            QStringLiteral("%1").arg(number_->text().trimmed().toInt(), 6, 10, QLatin1Char('0'));
        if (!debitWrittenSinceListed() &&
            firstRow(QStringLiteral("SELECT 1 FROM CHEQUE WHERE CDREDUCONT = ? AND NRCHEQUE = ?"),
                     {request_.account, typed})) {
            const QString next = nextChequeNumber();
            if (!next.isEmpty() && next != typed) {
                number_->setText(next);
                fail(answer.errorMessage() +
                     QStringLiteral(" O próximo número livre, %1, foi posto no campo: confira-o no talão.")
                         .arg(next));
            }
        }
        fail(answer.errorMessage());
    }
    number_->setText(answer.payload().toText());
    number_->setReadOnly(true);
    recorded_ = true;
}

void chequeEmissionScreen(const ChequeRequest &request) {
    ChequeEmissionDialog dialog(request, QApplication::activeWindow());
    dialog.exec();
    if (!dialog.printerLost().isEmpty())
        fail(dialog.printerLost());
}

} // namespace bco::host
