#include "framework/text/amount_in_words.h"

#include <stdexcept>
#include <vector>

#include <QStringList>

namespace bco {

namespace {

const char *const units[] = {"",         "um",     "dois",      "três",      "quatro",  "cinco",   "seis",
                             "sete",     "oito",   "nove",      "dez",       "onze",    "doze",    "treze",
                             "quatorze", "quinze", "dezesseis", "dezessete", "dezoito", "dezenove"};
const char *const tens[] = {"",          "",         "vinte",   "trinta",  "quarenta",
                            "cinquenta", "sessenta", "setenta", "oitenta", "noventa"};
const char *const hundreds[] = {"",           "cento",      "duzentos",   "trezentos",  "quatrocentos",
                                "quinhentos", "seiscentos", "setecentos", "oitocentos", "novecentos"};

// 1 to 999.
QString belowThousand(int n) {
    if (n == 100)
        return QStringLiteral("cem");
    QStringList parts;
    if (n >= 100)
        parts << QString::fromUtf8(hundreds[n / 100]);
    const int rest = n % 100;
    if (rest >= 20) {
        parts << QString::fromUtf8(tens[rest / 10]);
        if (rest % 10 != 0)
            parts << QString::fromUtf8(units[rest % 10]);
    } else if (rest > 0) {
        parts << QString::fromUtf8(units[rest]);
    }
    return parts.join(QStringLiteral(" e "));
}

struct Scale {
    const char *one, *many;
};
// Thousands carry no "um": "mil", "dois mil".
const Scale scales[] = {
    {"", ""}, {"mil", "mil"}, {"milhão", "milhões"}, {"bilhão", "bilhões"}, {"trilhão", "trilhões"}};

// A whole number of units written out; `scaleEnded` tells whether it ends in millions or above with nothing
// below them ("um milhão", "dois bilhões"), which take "de" before the currency.
QString wholeInWords(qint64 n, bool &scaleEnded) {
    scaleEnded = false;
    if (n == 0)
        return QStringLiteral("zero");
    std::vector<int> groups; // of three digits, lowest first
    for (qint64 rest = n; rest > 0; rest /= 1000)
        groups.push_back(static_cast<int>(rest % 1000));
    QStringList words;
    int lowest = -1; // the lowest group that is not zero
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g] != 0) {
            lowest = static_cast<int>(g);
            break;
        }
    }
    for (int g = static_cast<int>(groups.size()) - 1; g >= 0; --g) {
        const int group = groups[static_cast<size_t>(g)];
        if (group == 0)
            continue;
        QString text;
        if (g == 1 && group == 1)
            text = QStringLiteral("mil");
        else if (g == 0)
            text = belowThousand(group);
        else
            text =
                belowThousand(group) + u' ' + QString::fromUtf8(group == 1 ? scales[g].one : scales[g].many);
        // The last group is joined by "e" when it is below a hundred or a round hundred ("mil e cem", "mil e
        // vinte"); other groups simply follow ("mil duzentos e trinta").
        if (!words.isEmpty() && g == lowest && (group < 100 || group % 100 == 0))
            words.last() += QStringLiteral(" e");
        words << text;
    }
    scaleEnded = lowest >= 2;
    return words.join(u' ');
}

} // namespace

QString amountInWords(qint64 cents) {
    // Past the largest scale there are no words here (nor, for the most negative amount, an absolute value).
    constexpr qint64 LargestCents = 99'999'999'999'999'999;
    if (cents > LargestCents || cents < -LargestCents)
        throw std::out_of_range("Valor grande demais para ser escrito por extenso.");
    if (cents < 0)
        cents = -cents;
    const qint64 reais = cents / 100;
    const int centavos = static_cast<int>(cents % 100);
    QString text;
    if (reais > 0 || centavos == 0) {
        bool scaleEnded = false;
        text = wholeInWords(reais, scaleEnded);
        text += scaleEnded                 ? QStringLiteral(" de reais")
                : reais == 1 || reais == 0 ? QStringLiteral(" real")
                                           : QStringLiteral(" reais");
    }
    if (centavos > 0) {
        if (!text.isEmpty())
            text += QStringLiteral(" e ");
        text += belowThousand(centavos) +
                (centavos == 1 ? QStringLiteral(" centavo") : QStringLiteral(" centavos"));
    }
    return text;
}

} // namespace bco
