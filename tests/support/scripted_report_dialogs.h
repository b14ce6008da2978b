#pragma once

#include <functional>

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "framework/ui/report/report_dialogs.h"

namespace bco {

// The report windows of a test: installs itself for its life and answers from what the test set.
// - the printer dialog prints to the PDF file `printTo` (cancelled when it is empty), or, with
//   `printerGone`, answers a printer that is no longer installed;
// - the preview paints into the PDF file `previewTo`, so that the test reads what it showed;
// - the PDF file dialog answers `pdfFile` (cancelled when empty);
// - each title question takes the next of `titles` (cancelled when none is left);
// - the progress records the page counts it was started with and stops once `stopAfter` pages are done
//   (never when negative).
class ScriptedReportDialogs final : public ReportDialogs {
public:
    ScriptedReportDialogs();
    ~ScriptedReportDialogs() override;
    ScriptedReportDialogs(const ScriptedReportDialogs &) = delete;
    ScriptedReportDialogs &operator=(const ScriptedReportDialogs &) = delete;

    QString printTo;
    bool printerGone = false;
    // What happens elsewhere while the printer dialog is open (another operator's work).
    std::function<void()> whileChoosingPrinter;
    QString previewTo;
    QString pdfFile;
    QStringList titles;
    int stopAfter = -1;

    // What was asked: the questions' captions and prompts, and the page counts of each rendering.
    QStringList asked;
    // The answer each title question offered.
    QStringList suggested;
    std::vector<int> renderings;
    int pagesDone = 0;

    bool choosePrinter(QPrinter &printer) override;
    void preview(QPrinter &printer, const std::function<void(QPrinter &)> &paint) override;
    std::optional<QString> pdfFileName(const QString &suggested) override;
    std::optional<QString> askText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::unique_ptr<ReportProgress> progress(const QString &title) override;

private:
    ScopedReportDialogs installed_;
};

} // namespace bco
