#pragma once

#include <QString>

namespace bco {

// An amount of reais written out in Brazilian Portuguese, as a cheque carries it: "um real", "vinte e um
// reais e vinte e um centavos", "um milhão de reais", "mil e cem reais", "um centavo". `cents` is the amount
// in centavos, from 0 up to 999.999.999.999.999,99 ("zero real" for 0); a negative amount is written as its
// absolute value; one past that range throws std::out_of_range. Lower case, without a closing mark: the
// cheque's layout frames it.
QString amountInWords(qint64 cents);

} // namespace bco
