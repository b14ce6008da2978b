#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "server/storage/money.h"

namespace bco::server {
namespace {

struct AmountCase {
    const char *name;
    double amount;
    std::optional<qint64> cents;
};

const AmountCase amountCases[] = {
    {"a two-decimal amount is exact", 1234.56, 123456},
    {"an amount whose binary form falls short is read as typed", 10.07, 1007},
    {"half a cent rounds away from zero", 1.005, 101},
    {"half a cent of a negative amount rounds away from zero", -1.005, -101},
    {"less than half a cent rounds down", 2.004, 200},
    {"a sum of floats lands on the cent", 0.1 + 0.2, 30},
    {"zero is zero", 0.0, 0},
    {"the largest stored magnitude is accepted", 9999999999999.99, 999999999999999},
    {"ten trillion is beyond NUMERIC(15,2)", 1e13, std::nullopt},
    {"an amount just below ten trillion that rounds onto it is beyond too", 9999999999999.996, std::nullopt},
    {"not a number is refused", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    {"infinity is refused", std::numeric_limits<double>::infinity(), std::nullopt},
};

TEST(AmountsInCents, AreReadFromTheDigitsTheOperatorTyped) {
    for (const AmountCase &c : amountCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(centsFromAmount(c.amount), c.cents);
    }
}

struct BoundCase {
    const char *name;
    double bound;
    qint64 atLeast, atMost;
};

const BoundCase boundCases[] = {
    {"the filter's lower bound of 100.00 admits 100.00", 99.999, 10000, 9999},
    {"the filter's upper bound of 100.00 admits 100.00", 100.001, 10001, 10000},
    {"the open lower bound -0.001 starts at zero", -0.001, 0, -1},
    {"a bound on the cent is itself", 12.34, 1234, 1234},
};

TEST(RangeBoundsInCents, KeepEveryAmountTheRangeHolds) {
    for (const BoundCase &c : boundCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(centsAtLeast(c.bound), c.atLeast);
        EXPECT_EQ(centsAtMost(c.bound), c.atMost);
    }
}

TEST(AmountsInCents, ComeBackAsTheSameTwoDecimalAmount) {
    for (const qint64 cents : {qint64(0), qint64(1), qint64(-1007), qint64(123456789012345)})
        EXPECT_EQ(centsFromAmount(amountFromCents(cents)), cents);
}

} // namespace
} // namespace bco::server
