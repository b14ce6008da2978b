#include "import/workbook_error.h"

#include "import/workbook_cell.h"

namespace bco {

namespace {

QString quoted(const QString &text) {
    return u'"' + text + u'"';
}

// "A", "A" e "B", "A", "B" e "C".
QString quotedList(const QStringList &items) {
    QString list;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            list += (i == items.size() - 1) ? QStringLiteral(" e ") : QStringLiteral(", ");
        list += quoted(items[i]);
    }
    return list;
}

} // namespace

WorkbookError::WorkbookError(const QString &message)
    : std::runtime_error(message.toStdString())
    , message_(message) {
}

WorkbookError WorkbookError::cannotRead(const QString &path) {
    return WorkbookError(QStringLiteral("Não foi possível ler o arquivo %1.").arg(quoted(path)));
}

WorkbookError WorkbookError::notAWorkbook() {
    return WorkbookError(QStringLiteral(
        "O arquivo não é uma pasta de trabalho do Excel (.xls ou .xlsx) nem do OpenDocument (.ods). "
        "Um arquivo de texto, CSV ou HTML com a extensão .xls precisa ser aberto na planilha eletrônica "
        "e salvo como pasta de trabalho."));
}

WorkbookError WorkbookError::encrypted() {
    return WorkbookError(
        QStringLiteral("A pasta de trabalho está protegida por senha. Salve-a sem senha e tente novamente."));
}

WorkbookError WorkbookError::oldFormat() {
    return WorkbookError(QStringLiteral("A pasta de trabalho está em um formato do Excel anterior ao 97. "
                                        "Salve-a como Excel 97-2003 (.xls) e tente novamente."));
}

WorkbookError WorkbookError::damaged(const QString &detail) {
    return WorkbookError(
        QStringLiteral("A pasta de trabalho está danificada ou incompleta (%1).").arg(detail));
}

void WorkbookError::throwDamaged(const char *detail) {
    throw damaged(QString::fromUtf8(detail));
}

WorkbookError WorkbookError::tooLarge() {
    return WorkbookError(QStringLiteral(
        "A pasta de trabalho é grande demais para ser importada. Divida-a em arquivos menores."));
}

WorkbookError WorkbookError::missingSheet(const QString &sheet) {
    return WorkbookError(
        QStringLiteral("A planilha %1 não foi encontrada na pasta de trabalho.").arg(quoted(sheet)));
}

WorkbookError WorkbookError::sheetNamedTwice(const QString &first, const QString &second) {
    return WorkbookError(
        QStringLiteral("A pasta de trabalho tem duas planilhas de mesmo nome, %1 e %2 (os programas "
                       "de planilha não distinguem maiúsculas de minúsculas): renomeie uma "
                       "delas.")
            .arg(quoted(first), quoted(second)));
}

WorkbookError WorkbookError::missingHeadings(const QStringList &headings, const QString &sheet) {
    const QString text =
        headings.size() == 1
            ? QStringLiteral("A coluna %1 não foi encontrada na linha de títulos da planilha %2.")
            : QStringLiteral("As colunas %1 não foram encontradas na linha de títulos da planilha %2.");
    return WorkbookError(text.arg(quotedList(headings), quoted(sheet)));
}

WorkbookError WorkbookError::repeatedHeading(const QString &heading, quint32 firstColumn,
                                             quint32 secondColumn, const QString &sheet) {
    return WorkbookError(
        QStringLiteral("A coluna %1 aparece duas vezes na linha de títulos da planilha %2 "
                       "(colunas %3 e %4). Deixe esse título em uma só delas e importe de "
                       "novo.")
            .arg(quoted(heading), quoted(sheet), columnLetters(firstColumn), columnLetters(secondColumn)));
}

WorkbookError WorkbookError::notADate(const QString &heading, int sheetRow, const QString &text) {
    return WorkbookError(
        QStringLiteral("A célula da coluna %1 na linha %2 da planilha não contém uma data: %3.")
            .arg(quoted(heading))
            .arg(sheetRow)
            .arg(quoted(text)));
}

WorkbookError WorkbookError::emptyDateFormula(quint32 sheetRow, quint32 column) {
    return WorkbookError(
        QStringLiteral(
            "A linha %1 da planilha tem um valor, mas a data dela (coluna %2) é uma fórmula que não dá uma "
            "data: calcula um texto vazio, ou foi gravada sem o valor que calcula. Preencha a data dessa "
            "linha, ou apague o valor dela; se a planilha mostra a data, abra a pasta de trabalho num "
            "programa de planilhas e salve-a de novo antes de importá-la.")
            .arg(sheetRow)
            .arg(column));
}

WorkbookError WorkbookError::uncomputedFormula(quint32 sheetRow, quint32 column) {
    return WorkbookError(
        QStringLiteral(
            "A célula da linha %1, coluna %2 da planilha tem uma fórmula gravada sem o valor que ela "
            "calcula. Abra a pasta de trabalho num programa de planilhas e salve-a de novo antes de "
            "importá-la.")
            .arg(sheetRow)
            .arg(column));
}

} // namespace bco
