#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QTemporaryDir>

#include "entry_form_fixture.h"
#include "import/workbook_table.h"
#include "support/qt_printers.h"
#include "support/scripted_file_dialogs.h"

using namespace bco;
using namespace bco::testing;

namespace {

// The list of account 050 as the operator sees it, written to a file or copied.
class ListExport : public EntryForm {
protected:
    void SetUp() override {
        EntryForm::SetUp();
        ASSERT_TRUE(folder.isValid());
        chooseAccount(listed.code);
        env.dialogs.clearShown();
    }

    // The list's rows as the exports must give them: the grid's columns, a debit's value negative.
    QList<QStringList> listRows(const QList<const char16_t *> &fields) {
        QList<QStringList> rows;
        ClientDataSet &entries = list();
        entries.First();
        while (!entries.Eof()) {
            QStringList row;
            for (const char16_t *field : fields) {
                const Field &value = entries.FieldByName(field);
                row << (value.Kind() == FieldKind::Float  ? QString::number(value.AsFloat(), 'f', 2)
                        : value.Kind() == FieldKind::Date ? value.AsDateTime().toString(u"dd/MM/yyyy")
                                                          : value.AsString());
            }
            rows << row;
            entries.Next();
        }
        entries.First();
        return rows;
    }

    // The workbook's rows read back by the import's reader, numbers with two decimals.
    static QList<QStringList> workbookRows(const QString &path, const QStringList &headings) {
        WorkbookSelection selection;
        selection.sheet = QStringLiteral("Lançamentos");
        selection.headings = headings;
        selection.keyHeading = headings.front();
        const WorkbookTable table = WorkbookTable::read(path, selection);
        QList<QStringList> rows;
        for (int r = 0; r < table.rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < headings.size(); ++c) {
                const WorkbookCell &cell = table.cell(r, c);
                row << (cell.kind() == CellKind::Number ? QString::number(cell.number(), 'f', 2)
                                                        : cell.toText());
            }
            rows << row;
        }
        return rows;
    }

    QTemporaryDir folder;
    ScriptedFileDialogs files;
};

} // namespace

TEST_F(ListExport, TheListIsWrittenAsShownToTheFileNamed) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
        const char *file; // null: the operator cancels
        QStringList headings;
        QList<const char16_t *> fields;
    };
    const QStringList shown{"Data", "Tipo", "Descrição", "Valor"};
    const QList<const char16_t *> shownFields{u"DTMOVICRED", u"TIPO", u"DSMOVICRED", u"VRMOVICRED"};
    const Case cases[] = {
        {"the whole list to a workbook", [] {}, "lista.xlsx", shown, shownFields},
        {"a name without .csv is a workbook", [] {}, "lista.planilha", shown, shownFields},
        {"the entries the filter lets in",
         [this] {
             env.modalForms.then([](QWidget &dialog) {
                 dialog.findChild<TDateEditPlus *>(QStringLiteral("depDataIni"))->SetDate(QDate(2024, 3, 4));
                 dialog.findChild<QToolButton *>(QStringLiteral("sbtConfirma"))->click();
             });
             control<QAction>("mnuFiltro")->trigger();
             ASSERT_EQ(list().RecordCount(), 6);
         },
         "filtrada.xlsx", shown, shownFields},
        {"the columns in the order the operator moved them, a hidden one left out",
         [this] {
             dbgPadrao()->horizontalHeader()->moveSection(3, 0);
             dbgPadrao()->horizontalHeader()->hideSection(1);
         },
         "movida.xlsx", QStringList{"Valor", "Data", "Descrição"},
         QList<const char16_t *>{u"VRMOVICRED", u"DTMOVICRED", u"DSMOVICRED"}},
        {"a cancelled dialog writes nothing", [] {}, nullptr, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reopen();
        chooseAccount(listed.code);
        c.arrange();
        const QString path = c.file ? folder.filePath(QString::fromLatin1(c.file)) : QString();
        if (c.file)
            files.choose(path);
        else
            files.cancel();
        const QStringList before = QDir(folder.path()).entryList(QDir::Files);
        dbgPadrao()->setFocus();
        QTest::keyClick(dbgPadrao(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ(files.asked().size(), size_t(&c - cases) + 1) << "Ctrl+Shift+S asks for the file";
        EXPECT_EQ(files.asked().back().title, QStringLiteral("Exportar Lista"));
        EXPECT_TRUE(files.asked().back().folder.endsWith(QStringLiteral("/lancamentos-050.xlsx")));
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        if (!c.file) {
            EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), before);
            continue;
        }
        const QList<QStringList> expected = listRows(c.fields);
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(workbookRows(path, c.headings), expected);
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](const QStringList &row) {
            return row.join(u'|').contains(u"|-") || row.front().startsWith(u'-');
        })) << "the list holds a debit, written negative";
    }
}

TEST_F(ListExport, ACsvAndTheClipboardHoldTheSameRows) {
    const QString path = folder.filePath(QStringLiteral("lista.CSV"));
    files.choose(path);
    control<QAction>("actExportarLista")->trigger();
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a spreadsheet reads it as UTF-8";
    const QStringList csvLines =
        QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);

    dbgPadrao()->setFocus();
    QTest::keyClick(dbgPadrao(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QStringList tabbedLines = copied->text().split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(copied->hasHtml());
    EXPECT_EQ(copied->html().count(QStringLiteral("<tr>")), list().RecordCount() + 1);

    ASSERT_EQ(csvLines.size(), list().RecordCount() + 1);
    ASSERT_EQ(tabbedLines.size(), csvLines.size());
    EXPECT_EQ(csvLines.front(), QStringLiteral("Data;Tipo;Descrição;Valor"));
    for (int i = 0; i < csvLines.size(); ++i)
        EXPECT_EQ(QString(tabbedLines[i]).replace(u'\t', u';'), csvLines[i]);
    list().First();
    const Field &value = list().FieldByName(u"VRMOVICRED");
    EXPECT_TRUE(csvLines[1].endsWith(u';' + QString::number(value.AsFloat(), 'f', 2).replace(u'.', u',')))
        << csvLines[1].toStdString();
}

TEST_F(ListExport, AFileThatCannotBeWrittenIsToldAndNothingIsLeft) {
    const QString path = folder.filePath(QStringLiteral("sem-pasta/lista.xlsx"));
    files.choose(path);
    control<QAction>("actExportarLista")->trigger();
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_TRUE(
        env.dialogs.errors().front().startsWith(QStringLiteral("Não foi possível gravar a lista em ")))
        << env.dialogs.errors().front().toStdString();
    EXPECT_FALSE(QFile::exists(path));
}
