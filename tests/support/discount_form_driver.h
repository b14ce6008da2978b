#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "discount/discount_form.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/number_edit.h"

namespace bco::testing {

// Works the discount form as the operator does while it is shown (inside a scripted modal action): clicks,
// double clicks, keys and typing on the grid of the page shown, and the two buttons.
class DiscountFormDriver {
public:
    explicit DiscountFormDriver(QWidget &shown)
        : form_(static_cast<Cli_bco11103::TfrmDescAdia &>(shown)) {
        form_.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form_));
    }

    Cli_bco11103::TfrmDescAdia &form() const { return form_; }
    TNewDBGrid *grid() const {
        return form_.findChild<QStackedWidget *>(QStringLiteral("ntbConsulta"))
            ->currentWidget()
            ->findChild<TNewDBGrid *>();
    }
    ClientDataSet &rows() const { return form_.PageData(); }
    double runningTotal() const { return number("nedVrADesc"); }
    double totalAvailable() const { return number("nedTotalAdi"); }

    QPoint cell(int row, const char *field) const {
        const int column = grid()->Model()->ColumnOf(QString::fromLatin1(field));
        return grid()->visualRect(grid()->model()->index(row, column)).center();
    }
    void click(int row, const char *field) const {
        grid()->setFocus();
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell(row, field));
    }
    // A double click on the row's mark.
    void toggle(int row) const {
        click(row, "IDMARCADO");
        QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell(row, "IDMARCADO"));
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) const {
        QWidget *target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : grid();
        QTest::keyClick(target, key, modifiers);
    }
    // Types over the row's discount and presses Enter in the cell: each key goes where the focus is, the
    // grid until a key opens the cell's editor.
    void typeDiscount(int row, const QString &text) const {
        click(row, "VRDESCONTO");
        for (const QChar typed : text)
            QTest::keyClick(QApplication::focusWidget(), typed.toLatin1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        // The cell's editor closes after the key, once the events waiting are run.
        QCoreApplication::processEvents();
    }

    void confirm() const { button("sbtConfirma")->click(); }
    void cancel() const { button("sbtCancela")->click(); }

    // Each row's mark and discount, as "S 150.00".
    QStringList marks() const { return describe(rows()); }
    static QStringList describe(const ClientDataSet &data) {
        QStringList shown;
        for (int row = 0; row < data.RecordCount(); ++row) {
            const ClientDataSet::ActiveRowScope reading(data, row);
            shown << QStringLiteral("%1 %2")
                         .arg(data.FieldByName(u"IDMARCADO").AsString())
                         .arg(data.FieldByName(u"VRDESCONTO").AsFloat(), 0, 'f', 2);
        }
        return shown;
    }

private:
    double number(const char *name) const {
        return form_.findChild<TNumberEdit *>(QString::fromLatin1(name))->Value();
    }
    QToolButton *button(const char *name) const {
        return form_.findChild<QToolButton *>(QString::fromLatin1(name));
    }

    Cli_bco11103::TfrmDescAdia &form_;
};

} // namespace bco::testing
