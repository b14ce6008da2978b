#include "server/methods/code_list.h"

#include "server/transport/method_registry.h"

namespace bco::server {

QStringList parseCodeList(const QString &text, const QString &what) {
    QStringList codes;
    const qsizetype size = text.size();
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < size && text[at].isSpace())
            ++at;
    };
    const auto refuse = [&] {
        return Refusal(QStringLiteral("Lista de %1 inválida: %2").arg(what, text.left(200)));
    };
    skipBlanks();
    if (at == size)
        return codes;
    for (;;) {
        if (at == size || text[at] != u'\'')
            throw refuse();
        const qsizetype close = text.indexOf(u'\'', at + 1);
        if (close < 0)
            throw refuse();
        codes.append(text.mid(at + 1, close - at - 1));
        at = close + 1;
        skipBlanks();
        if (at == size)
            return codes;
        if (text[at] != u',')
            throw refuse();
        ++at;
        skipBlanks();
    }
}

} // namespace bco::server
