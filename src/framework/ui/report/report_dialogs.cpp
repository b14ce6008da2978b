#include "framework/ui/report/report_dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

#include "framework/ui/event_guard.h"

namespace bco {

namespace {

class RefusingReportDialogs final : public ReportDialogs {
public:
    bool choosePrinter(QPrinter &) override { throw DialogsNotInstalled(QStringLiteral("Imprimir")); }
    void preview(QPrinter &, const std::function<void(QPrinter &)> &) override {
        throw DialogsNotInstalled(QStringLiteral("Visualizar"));
    }
    std::optional<QString> pdfFileName(const QString &suggested) override {
        throw DialogsNotInstalled(suggested);
    }
    std::optional<QString> askText(const QString &caption, const QString &, const QString &) override {
        throw DialogsNotInstalled(caption);
    }
    std::unique_ptr<ReportProgress> progress(const QString &title) override {
        throw DialogsNotInstalled(title);
    }
};

ServiceSlot<ReportDialogs, RefusingReportDialogs> reportsSlot;

// A modal progress window with a button that stops the rendering; events run between two pages, so that
// the window paints and the button answers.
class WindowProgress final : public ReportProgress {
public:
    explicit WindowProgress(const QString &title)
        : dialog_(QStringLiteral("Gerando o relatório..."), QStringLiteral("Parar"), 0, 1,
                  QApplication::activeWindow()) {
        dialog_.setWindowTitle(title);
        dialog_.setWindowModality(Qt::ApplicationModal);
        dialog_.setMinimumDuration(500);
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
    }

    void Start(int pages) override {
        pages_ = pages;
        dialog_.setMaximum(pages);
        dialog_.setValue(0);
    }
    bool Advance(int done) override {
        dialog_.setLabelText(QStringLiteral("Página %1 de %2").arg(done).arg(pages_));
        dialog_.setValue(done);
        QApplication::processEvents();
        return !dialog_.wasCanceled();
    }
    void Finish() override { dialog_.hide(); }

private:
    QProgressDialog dialog_;
    int pages_ = 0;
};

} // namespace

bool QtReportDialogs::choosePrinter(QPrinter &printer) {
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    return dialog.exec() == QDialog::Accepted;
}

void QtReportDialogs::preview(QPrinter &printer, const std::function<void(QPrinter &)> &paint) {
    QPrintPreviewDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Visualizar"));
    dialog.setWindowState(Qt::WindowMaximized);
    // The preview asks for its pages from its own event loop, and again for its print button's printer.
    connectGuarded(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                   [&paint](QPrinter *target) { paint(*target); });
    dialog.exec();
}

std::optional<QString> QtReportDialogs::pdfFileName(const QString &suggested) {
    const QString file =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("Gerar PDF"), suggested,
                                     QStringLiteral("Documentos PDF (*.pdf)"));
    if (file.isEmpty())
        return std::nullopt;
    return file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? file : file + QStringLiteral(".pdf");
}

std::optional<QString> QtReportDialogs::askText(const QString &caption, const QString &prompt,
                                                const QString &initial) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    // The title offered (up to 60 characters, the operator's code added) is shown whole, not scrolled.
    const int offeredWidth =
        dialog.fontMetrics().horizontalAdvance(initial) + 4 * dialog.fontMetrics().height();
    dialog.resize(std::max(dialog.sizeHint().width(), offeredWidth), dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::unique_ptr<ReportProgress> QtReportDialogs::progress(const QString &title) {
    return std::make_unique<WindowProgress>(title);
}

namespace Dialogs {

ReportDialogs &reports() {
    return reportsSlot.current();
}

ReportDialogs *installReports(ReportDialogs *service) {
    return reportsSlot.install(service);
}

} // namespace Dialogs

} // namespace bco
