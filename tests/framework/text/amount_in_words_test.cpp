#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

#include "framework/text/amount_in_words.h"

namespace {

TEST(AmountInWords, WritesTheAmountAsACheque) {
    const struct {
        qint64 cents;
        const char *words;
    } cases[] = {
        {1, "um centavo"},
        {100, "um real"},
        {2121, "vinte e um reais e vinte e um centavos"},
        {100000000, "um milhão de reais"},
        {0, "zero real"},
        {200, "dois reais"},
        {10000, "cem reais"},
        {10100, "cento e um reais"},
        {100000, "mil reais"},
        {110000, "mil e cem reais"},
        {102000, "mil e vinte reais"},
        {123456, "mil duzentos e trinta e quatro reais e cinquenta e seis centavos"},
        {200000000, "dois milhões de reais"},
        {200050000, "dois milhões e quinhentos reais"},
        {123456789012,
         "um bilhão duzentos e trinta e quatro milhões quinhentos e sessenta e sete mil oitocentos e "
         "noventa reais e doze centavos"},
        {1500000000, "quinze milhões de reais"},
        {1000000099, "dez milhões de reais e noventa e nove centavos"},
        {-1717, "dezessete reais e dezessete centavos"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bco::amountInWords(c.cents), QString::fromUtf8(c.words)) << c.cents;
    // The largest scale's last amount has words; past it, none are made up from past the table.
    EXPECT_TRUE(
        bco::amountInWords(99'999'999'999'999'999).startsWith(u"novecentos e noventa e nove trilhões"));
    for (const qint64 past : {qint64{100'000'000'000'000'000}, std::numeric_limits<qint64>::max(),
                              std::numeric_limits<qint64>::min()})
        EXPECT_THROW(bco::amountInWords(past), std::out_of_range) << past;
}

} // namespace
