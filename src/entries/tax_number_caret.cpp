#include "entries/tax_number_caret.h"

#include <algorithm>

namespace Cli_bco11100 {

namespace {

int nonDigits(QStringView text) {
    int count = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            ++count;
    }
    return count;
}

} // namespace

int CalculaRecuoSelecao(const QString &text, int position) {
    const int start = std::clamp(position, 0, static_cast<int>(text.size()));
    return start - nonDigits(QStringView(text).left(start));
}

void CalculaNovoTamanhoSel(const QString &selected, int &length) {
    const int counted = std::clamp(length, 0, static_cast<int>(selected.size()));
    length -= nonDigits(QStringView(selected).left(counted));
}

} // namespace Cli_bco11100
