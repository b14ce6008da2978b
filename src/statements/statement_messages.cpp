#include "statements/statement_messages.h"

namespace bco::statements::messages {

namespace {

QString quoted(const QString &text) {
    // A hostile file's text is shown in part only, and without its control characters.
    QString shown = text.left(40);
    for (QChar &c : shown)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return u'“' + shown + (text.size() > 40 ? QStringLiteral("…”") : QStringLiteral("”"));
}

} // namespace

StatementError empty() {
    return StatementError(QStringLiteral("O arquivo está vazio."));
}

StatementError notAFile(const QString &path) {
    return StatementError(
        QStringLiteral("%1 não é um arquivo: escolha o arquivo do extrato que o banco enviou.").arg(path));
}

StatementError cannotOpen(const QString &path, const QString &reason) {
    return StatementError(QStringLiteral("Não foi possível abrir o arquivo %1: %2.").arg(path, reason));
}

StatementError tooLarge(qsizetype bytes) {
    return StatementError(QStringLiteral("O arquivo tem %1 MB; um extrato pode ter no máximo %2 MB.")
                              .arg((bytes + 1024 * 1024 - 1) / (1024 * 1024))
                              .arg(MaxStatementBytes / (1024 * 1024)));
}

StatementError notRecognised() {
    return StatementError(QStringLiteral("Arquivo não reconhecido como extrato OFX ou CNAB 240."));
}

StatementError binary(int line) {
    return StatementError(
        QStringLiteral(
            "O arquivo não é um extrato em texto: a linha %1 contém bytes de controle ou binários.")
            .arg(line));
}

StatementError cnab400() {
    return StatementError(
        QStringLiteral("O arquivo é CNAB 400; só o extrato CNAB 240 para conciliação bancária é aceito."));
}

StatementError twoAccounts(const QString &first, const QString &second) {
    return StatementError(
        QStringLiteral(
            "O arquivo traz extratos de mais de uma conta (%1 e %2); importe um arquivo por conta.")
            .arg(first, second));
}

StatementError otherCurrency(const QString &currency) {
    return StatementError(
        QStringLiteral("O extrato está na moeda %1; as contas correntes são em reais (BRL).")
            .arg(quoted(currency)));
}

StatementError ofxTruncated(const QString &element, int openedAt) {
    return StatementError(
        QStringLiteral(
            "O arquivo OFX termina antes de fechar <%1>, aberto na linha %2: o arquivo parece incompleto.")
            .arg(element)
            .arg(openedAt));
}

StatementError ofxBadMarkup(int line, const QString &markup) {
    return StatementError(
        QStringLiteral("Linha %1 do arquivo OFX: marcação inválida %2.").arg(line).arg(quoted(markup)));
}

StatementError ofxTooDeep(int line, int limit) {
    return StatementError(QStringLiteral("Linha %1 do arquivo OFX: elementos aninhados demais (mais de %2).")
                              .arg(line)
                              .arg(limit));
}

StatementError ofxNoStatement() {
    return StatementError(
        QStringLiteral("O arquivo OFX não traz extrato de conta corrente (elemento <STMTRS>)."));
}

StatementError ofxMissing(int line, const QString &element) {
    return StatementError(
        QStringLiteral("Linha %1 do arquivo OFX: o lançamento não tem <%2>.").arg(line).arg(element));
}

StatementError ofxBadDate(int line, const QString &element, const QString &text) {
    return StatementError(QStringLiteral("Linha %1 do arquivo OFX: a data <%2> %3 não está no formato "
                                         "AAAAMMDD, AAAAMMDDHHMMSS ou AAAAMMDDHHMMSS.XXX[fuso].")
                              .arg(line)
                              .arg(element, quoted(text)));
}

StatementError ofxBadAmount(int line, const QString &element, const QString &text) {
    return StatementError(
        QStringLiteral("Linha %1 do arquivo OFX: o valor <%2> %3 não é aceito; um valor tem sinal opcional, "
                       "ponto ou vírgula decimal, nenhum separador de milhar e no máximo duas casas "
                       "decimais (ex.: -1234,56).")
            .arg(line)
            .arg(element, quoted(text)));
}

StatementError ofxIdTooLong(int line, qsizetype length) {
    return StatementError(
        QStringLiteral("Linha %1 do arquivo OFX: o identificador <FITID> tem %2 caracteres; o limite é 255.")
            .arg(line)
            .arg(length));
}

StatementError ofxStatementWithoutAccount(int line) {
    return StatementError(
        QStringLiteral(
            "O extrato da linha %1 não diz de que conta é, e outro extrato do arquivo diz; importe um "
            "arquivo por conta, cada extrato com a sua.")
            .arg(line));
}

StatementError cnabWidth(int line, qsizetype width) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB tem %2 caracteres; o layout exige 240.")
                              .arg(line)
                              .arg(width));
}

StatementError cnabField(int line, const char *field, int start, int length, const QString &text,
                         const char *expected) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB: o campo %2 (posições %3 a %4) tem %5, "
                                         "que não é %6.")
                              .arg(line)
                              .arg(QString::fromUtf8(field))
                              .arg(start)
                              .arg(start + length - 1)
                              .arg(quoted(text), QString::fromUtf8(expected)));
}

StatementError cnabUnexpected(int line, const QString &what) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB: %2").arg(line).arg(what));
}

StatementError cnabService(int line, const QString &service) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB: o lote não é de extrato para conciliação "
                                         "bancária (tipo de serviço %2; o extrato é 04).")
                              .arg(line)
                              .arg(quoted(service)));
}

StatementError cnabSegment(int line, const QString &segment) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB: segmento %2; o extrato para conciliação "
                                         "só tem detalhes do segmento E.")
                              .arg(line)
                              .arg(quoted(segment)));
}

StatementError cnabTruncated() {
    return StatementError(QStringLiteral(
        "O arquivo CNAB termina sem o trailer de arquivo (registro 9): o arquivo parece incompleto."));
}

StatementError cnabTotal(int line, const char *total, const QString &stated, const QString &counted) {
    return StatementError(QStringLiteral("Linha %1 do arquivo CNAB: o trailer informa %2 %3, mas o arquivo "
                                         "tem %4; o arquivo parece incompleto ou alterado.")
                              .arg(line)
                              .arg(QString::fromUtf8(total), stated, counted));
}

} // namespace bco::statements::messages
