#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <QStringView>

namespace bco::test {

enum class Format { Xls, Xlsx, Ods };

const char *extensionOf(Format format);

// One workbook for tests/support/write_workbooks.py: the rows of its sheet as the script's JSON, and the
// script's other options for it ("date1904", "xls", "xlsx").
struct WorkbookRecipe {
    QString name;
    Format format;
    QByteArray rows;
    QString sheet = QStringLiteral("Plan1");
    QJsonObject options;
};

// Workbooks written by one run of the writer, since starting Python and its libraries costs more than
// writing a small workbook: into a temporary folder, or into a lasting one that every process of a suite
// shares (CTest runs each case in a process of its own), written again only when the workbooks or the
// writer changed.
class WorkbookFixtures {
public:
    explicit WorkbookFixtures(const QString &lastingFolder = QString());

    // Where the workbook will be once written.
    QString add(const WorkbookRecipe &recipe);
    // Throws std::runtime_error when the writer fails.
    void write();
    QString path(const QString &fileName) const { return folder_ + u'/' + fileName; }

private:
    QTemporaryDir temporary_;
    QString folder_;
    QJsonArray workbooks_;
};

} // namespace bco::test
