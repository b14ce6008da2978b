#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QImage>
#include <QWidget>

#include "framework/report/report_design.h"

namespace Ui {
class frmEditaRelatorio;
}

namespace bco {

// The editor of a report design, shown modally: the query (one text per database kind), the columns with
// their captions, widths, formats, alignments and totals, the grouping with its header and footer texts,
// the page's captions, sheet and letter size, and a preview of the first page as the design now stands.
// "Salvar" closes it with the design edited (refusing a design that cannot run); "Cancelar" or closing the
// window leaves the stored design as it was.
class ReportDesignEditor : public QWidget {
    Q_OBJECT
public:
    // Paints the first page of a design, `width` pixels wide, with the parameters the report screen gives.
    using Previewer = std::function<QImage(const ReportDesign &design, int width)>;

    ReportDesignEditor(const QString &title, const ReportDesign &design, Previewer previewer,
                       QWidget *parent = nullptr);
    ~ReportDesignEditor() override;

    // The design as the editor's fields hold it; throws ReportDesignError when they make no design.
    ReportDesign EditedDesign() const;
    bool Saved() const { return saved_; }

    // The actions of its buttons.
    void Save();
    void ShowPreview();
    void AddColumn();
    void RemoveColumn();
    void MoveColumn(int step);
    void AddGroup();
    void RemoveGroup();

private:
    void load(const ReportDesign &design);
    void keepQueryText();
    void showQueryText();

    std::unique_ptr<Ui::frmEditaRelatorio> ui;
    Previewer previewer_;
    std::array<QStringList, 4> queryTexts_; // generic, Oracle, MS SQL, InterBase
    int shownDialect_ = 0;
    bool saved_ = false;
};

} // namespace bco
