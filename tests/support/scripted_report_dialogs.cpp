#include "support/scripted_report_dialogs.h"

#include <QPrinter>

namespace bco {

namespace {

class ScriptedProgress final : public ReportProgress {
public:
    explicit ScriptedProgress(ScriptedReportDialogs &script)
        : script_(script) {}
    void Start(int pages) override { script_.renderings.push_back(pages); }
    bool Advance(int done) override {
        script_.pagesDone = done;
        return script_.stopAfter < 0 || done < script_.stopAfter;
    }
    void Finish() override {}

private:
    ScriptedReportDialogs &script_;
};

void toPdf(QPrinter &printer, const QString &file) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
}

} // namespace

ScriptedReportDialogs::ScriptedReportDialogs()
    : installed_(*this) {
}

ScriptedReportDialogs::~ScriptedReportDialogs() = default;

bool ScriptedReportDialogs::choosePrinter(QPrinter &printer) {
    asked << QStringLiteral("Imprimir");
    if (whileChoosingPrinter)
        whileChoosingPrinter();
    if (printerGone) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(QStringLiteral("Impressora removida"));
        return true;
    }
    if (printTo.isEmpty())
        return false;
    toPdf(printer, printTo);
    return true;
}

void ScriptedReportDialogs::preview(QPrinter &printer, const std::function<void(QPrinter &)> &paint) {
    asked << QStringLiteral("Visualizar");
    toPdf(printer, previewTo);
    paint(printer);
}

std::optional<QString> ScriptedReportDialogs::pdfFileName(const QString &) {
    asked << QStringLiteral("Gerar PDF");
    if (pdfFile.isEmpty())
        return std::nullopt;
    return pdfFile;
}

std::optional<QString> ScriptedReportDialogs::askText(const QString &caption, const QString &prompt,
                                                      const QString &suggestion) {
    asked << caption + QLatin1Char('|') + prompt;
    suggested << suggestion;
    if (titles.isEmpty())
        return std::nullopt;
    return titles.takeFirst();
}

std::unique_ptr<ReportProgress> ScriptedReportDialogs::progress(const QString &) {
    return std::make_unique<ScriptedProgress>(*this);
}

} // namespace bco
