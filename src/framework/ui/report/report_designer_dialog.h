#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "framework/report/report_document.h"
#include "framework/report/report_params.h"

namespace bco {

class TMessages;

// The report engine of a report screen (its rpddPadrao): the designs stored for one report code in the
// shared database, and the actions on one of them. Running a design raises BeforeGetQueryParams with the
// design's parameters, for the screen to fill (asking ExistParam which ones the design has), then runs its
// query on the shared connection and lays out its pages. Failures (a design that cannot be read, a query
// that fails, a file that cannot be written) throw, for the event guard to show.
class TReportDesignerDialog {
public:
    // The report code whose designs it lists (BCO111).
    QString ReportCode;
    std::function<void(ReportParams &)> BeforeGetQueryParams;

    QStringList Titles() const;
    ReportDesign Design(const QString &title) const;
    // The design run with the parameters the screen gives, ready to be painted.
    ReportDocument Run(const QString &title, const ReportDesign &design) const;
    ReportDocument Run(const QString &title) const { return Run(title, Design(title)); }

    // Prints on the printer the operator chooses (nothing when the operator cancels).
    void Print(const QString &title) const;
    // Shows the pages in the print preview.
    void Preview(const QString &title) const;
    // Writes the pages to a PDF file the operator names.
    void ExportPdf(const QString &title) const;
    // Stores the design under a new title the operator types (`messages` holds the texts of the question,
    // NovoCaption and NovoPrompt, and of the refusals); answers that title, nothing when the operator
    // cancelled or gave the design's own title. A title that cannot be stored, or whose design the operator
    // chose not to replace, is asked again.
    std::optional<QString> SaveAs(const QString &title, const TMessages &messages) const {
        return SaveAs(title, title, Design(title), false, messages);
    }
    // Opens the design's editor and stores what the operator saved there over the design as it was read.
    // When someone saved another design under the title meanwhile, asks (Rel_Alterado, naming who and
    // when) whether to replace it; on No, offers to store the edited design under a new title instead, so
    // that neither operator's work is lost unasked. Answers the title the edited design was stored under,
    // nothing when it was not stored.
    std::optional<QString> Edit(const QString &title, const TMessages &messages) const;

    // Stores a design under the title for the logged-in operator.
    void Save(const QString &title, const ReportDesign &design) const;

private:
    // Stores `design`, read from the design of `title` or `edited` from it, under a new title the operator
    // types, suggesting `offered`. Asks again until the operator gives a title that holds no design or one
    // the operator agrees to replace, or cancels: an edited design exists nowhere else, so `title` itself is
    // asked again too, where the design read stands there already and ends the question.
    // A design that stands under the title is replaced only as the operator saw it when asked
    // (SaveOverAsking).
    std::optional<QString> SaveAs(const QString &title, const QString &offered, const ReportDesign &design,
                                  bool edited, const TMessages &messages) const;
    // Stores `design` under the title over the design read as `read`; whenever someone saved another one
    // meanwhile, asks (Rel_Alterado) whether to replace that one. Answers false, storing nothing, on No.
    bool SaveOverAsking(const QString &title, const ReportDesign &design, QString read,
                        const TMessages &messages) const;
};

// What the page header shows of the session: the operator, the company of the processing branch (read
// from the shared database), the moment and the locale of the process.
ReportContext SessionReportContext();

} // namespace bco
