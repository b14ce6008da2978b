#include "workbook_fixtures.h"

#include <stdexcept>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QJsonDocument>
#include <QProcess>

namespace bco::test {

const char *extensionOf(Format format) {
    switch (format) {
    case Format::Xls:
        return "xls";
    case Format::Xlsx:
        return "xlsx";
    case Format::Ods:
        return "ods";
    }
    return "";
}

WorkbookFixtures::WorkbookFixtures(const QString &lastingFolder)
    : folder_(lastingFolder.isEmpty() ? temporary_.path() : lastingFolder) {
    if (lastingFolder.isEmpty() ? !temporary_.isValid() : !QDir().mkpath(lastingFolder))
        throw std::runtime_error("cannot make a folder for the workbooks");
}

QString WorkbookFixtures::add(const WorkbookRecipe &recipe) {
    QJsonParseError error;
    const QJsonDocument rows = QJsonDocument::fromJson(recipe.rows, &error);
    if (!rows.isArray())
        throw std::runtime_error("rows of " + recipe.name.toStdString() + ": " +
                                 error.errorString().toStdString());
    QJsonObject workbook = recipe.options;
    const QString path = this->path(recipe.name + u'.' + QLatin1StringView(extensionOf(recipe.format)));
    workbook[u"path"] = path;
    workbook[u"format"] = QLatin1StringView(extensionOf(recipe.format));
    // Sheets written ahead of the recipe's own, as the option "sheetsBefore" gives them.
    QJsonArray sheets = workbook.take(u"sheetsBefore").toArray();
    sheets.append(QJsonObject{{"name", recipe.sheet}, {"rows", rows.array()}});
    workbook[u"sheets"] = sheets;
    workbooks_.append(workbook);
    return path;
}

void WorkbookFixtures::write() {
    QFile writerScript(QStringLiteral(BCO_WORKBOOK_WRITER));
    if (!writerScript.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " BCO_WORKBOOK_WRITER);
    const QByteArray json =
        QJsonDocument(
            QJsonObject{
                {"workbooks", workbooks_},
                {"writer",
                 QString::fromLatin1(
                     QCryptographicHash::hash(writerScript.readAll(), QCryptographicHash::Sha1).toHex())}})
            .toJson();
    QLockFile lock(path(QStringLiteral("workbooks.lock")));
    if (!lock.lock())
        throw std::runtime_error("cannot lock the workbook folder");
    QFile description(path(QStringLiteral("workbooks.json")));
    if (description.open(QIODevice::ReadOnly) && description.readAll() == json)
        return; // written by an earlier process from the same description
    description.close();
    // Written only once the workbooks are, so that a failed run is not taken for a finished one.
    description.remove();
    QFile pending(path(QStringLiteral("workbooks.pending.json")));
    if (!pending.open(QIODevice::WriteOnly) || pending.write(json) != json.size())
        throw std::runtime_error("cannot write the workbook description");
    pending.close();
    QProcess writer;
    writer.setProcessChannelMode(QProcess::MergedChannels);
    // Debian's interpreter, which has the writers' packages whatever python3 comes first on the path.
    writer.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(BCO_WORKBOOK_WRITER), pending.fileName()});
    if (!writer.waitForFinished(120'000) || writer.exitStatus() != QProcess::NormalExit ||
        writer.exitCode() != 0)
        throw std::runtime_error("write_workbooks.py failed: " + writer.readAll().toStdString());
    if (!pending.rename(description.fileName()))
        throw std::runtime_error("cannot keep the workbook description");
}

} // namespace bco::test
