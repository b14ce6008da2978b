#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "framework/checks/dialogs.h"
#include "framework/ui/report/report_progress.h"

class QPrinter;

namespace bco {

// The windows of the report actions, as a service: the desktop shows the platform's printer dialog, Qt's
// print preview, a file dialog, an input box and a progress window; a test answers from a script.
class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;

    // Lets the operator choose the printer and its options for `printer`; false when cancelled.
    virtual bool choosePrinter(QPrinter &printer) = 0;
    // Shows what `paint` draws on a printer, page by page, until the operator closes the preview (from which
    // the operator may print).
    virtual void preview(QPrinter &printer, const std::function<void(QPrinter &)> &paint) = 0;
    // Asks the name of the PDF file to write, offering `suggested`; nothing when cancelled.
    virtual std::optional<QString> pdfFileName(const QString &suggested) = 0;
    // Asks for a line of text under `caption` with `prompt`, offering `initial`; nothing when cancelled.
    virtual std::optional<QString> askText(const QString &caption, const QString &prompt,
                                           const QString &initial) = 0;
    // The progress of the report `title` being rendered; it shows itself when started.
    virtual std::unique_ptr<ReportProgress> progress(const QString &title) = 0;
};

// The desktop's report windows.
class QtReportDialogs final : public ReportDialogs {
public:
    bool choosePrinter(QPrinter &printer) override;
    void preview(QPrinter &printer, const std::function<void(QPrinter &)> &paint) override;
    std::optional<QString> pdfFileName(const QString &suggested) override;
    std::optional<QString> askText(const QString &caption, const QString &prompt,
                                   const QString &initial) override;
    std::unique_ptr<ReportProgress> progress(const QString &title) override;
};

namespace Dialogs {

// The installed report windows, or a refusing default (DialogsNotInstalled).
ReportDialogs &reports();
ReportDialogs *installReports(ReportDialogs *service);

} // namespace Dialogs

using ScopedReportDialogs = ScopedService<ReportDialogs, &Dialogs::installReports>;

} // namespace bco
