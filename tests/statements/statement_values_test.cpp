#include <gtest/gtest.h>

#include <QString>

#include "statements/bank_statement.h"
#include "statements/statement_values.h"
#include "support/qt_printers.h"

namespace bco::statements {
namespace {

struct CentsCase {
    const char *text;
    std::optional<qint64> cents;
};

const CentsCase centsCases[] = {
    {"-1234.56", -123456},
    {"1234,56", 123456},
    {"+10", 1000},
    {" 12.5 ", 1250},
    {"-0,07", -7},
    {",5", 50},
    {"0.500", 50},
    {"-13.0300", -1303},
    {"10.500", std::nullopt},
    {"1,000", std::nullopt},
    {"999999999999999.99", 99999999999999999},
    {"1.234,56", std::nullopt},
    {"1,234.56", std::nullopt},
    {"1.234.567", std::nullopt},
    {"10.005", std::nullopt},
    {"12.", std::nullopt},
    {"", std::nullopt},
    {"-", std::nullopt},
    {"--1", std::nullopt},
    {"1e3", std::nullopt},
    {"R$ 10,00", std::nullopt},
    {"1000000000000000", std::nullopt},
};

TEST(StatementValues, OfxAmountsConvertExactlyOrAreRefused) {
    for (const CentsCase &c : centsCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ofxCents(QString::fromUtf8(c.text)), c.cents);
    }
}

struct DayCase {
    const char *text;
    QDate day;
};

const DayCase dayCases[] = {
    {"20240315", QDate(2024, 3, 15)},
    {"20240315120000", QDate(2024, 3, 15)},
    {"202403151200", QDate(2024, 3, 15)},
    {"20240315120000.000[-3:BRT]", QDate(2024, 3, 15)},
    {"20240315235959[-3:BRT]", QDate(2024, 3, 15)},
    {"20240315000000[+5.30:IST]", QDate(2024, 3, 15)},
    {"20240315000000[-3]", QDate(2024, 3, 15)},
    {"20240308120000[-03:00]", QDate(2024, 3, 8)},
    {"20240308120000[-0300]", QDate(2024, 3, 8)},
    {"20240308120000[+05:30]", QDate(2024, 3, 8)},
    {"20240308120000[-03:60]", QDate()},
    {"20240308120000[-03:0]", QDate()},
    {"20240308120000[-0300:BRT]", QDate()},
    {"20240308120000[-030]", QDate()},
    {"20240308120000[-0360]", QDate()},
    {"20240308120000[-3.5:30]", QDate()},
    {"20240229", QDate(2024, 2, 29)},
    {"20230229", QDate()},
    {"2024-03-15", QDate()},
    {"2024031", QDate()},
    {"20240315120", QDate()},
    {"20240315120000[BRT]", QDate()},
    {"20240315120000[-3:BRT", QDate()},
    {"20240315120000.[-3]", QDate()},
    {"20240315 12:00", QDate()},
};

TEST(StatementValues, OfxDatesKeepTheDayWrittenWhateverTheZone) {
    for (const DayCase &c : dayCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ofxDay(QString::fromUtf8(c.text)), c.day);
    }
}

TEST(StatementValues, CnabDatesAreDayMonthYear) {
    EXPECT_EQ(cnabDay(u"15032024"), QDate(2024, 3, 15));
    EXPECT_FALSE(cnabDay(u"00000000").isValid());
    EXPECT_FALSE(cnabDay(u"31022024").isValid());
    EXPECT_FALSE(cnabDay(u"1503202 ").isValid());
}

struct DecodeCase {
    const char *name;
    QByteArray bytes;
    QString text;
};

const DecodeCase decodeCases[] = {
    {"valid UTF-8, whatever the file declares", "P\xC3\xA3o", QStringLiteral("Pão")},
    {"CP1252 bytes", "P\xE3o \x93x\x94 \x80 \x96", QStringLiteral("Pão “x” € –")},
    {"Latin-1 bytes, which CP1252 reads alike", "Jos\xE9 A\xE7\xFA", QStringLiteral("José Açú")},
    // One line pasted in from another program would have every other line read in the wrong encoding.
    {"a UTF-8 file with one line of CP1252",
     "MA\xC3\x87\xC3\x83\r\nP\xE3o\r\nA\xC3\xA7\xC3\xBA"
     "car",
     QStringLiteral("MAÇÃ\r\nPão\r\nAçúcar")},
    {"lines ended by CR alone", "MA\xC3\x87\xC3\x83\rP\xE3o\r", QStringLiteral("MAÇÃ\rPão\r")},
    {"an OFX body on one line", "<MEMO>MA\xC3\x87\xC3\x83<MEMO>P\xE3o</STMTTRN>",
     QStringLiteral("<MEMO>MAÇÃ<MEMO>Pão</STMTTRN>")},
};

TEST(StatementValues, TextIsUtf8WhenValidElseCp1252) {
    for (const DecodeCase &c : decodeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeStatementText(c.bytes), c.text);
    }
}

struct MatchCase {
    const char *name;
    const char *fileBank, *fileAgency, *fileAgencyCheck, *fileAccount, *fileAccountCheck;
    const char *bank, *agency, *account;
    bool matches;
};

const MatchCase matchCases[] = {
    {"same digits written otherwise", "101", "1234-5", "5", "12345-6", "6", "101", "12345", "123456", true},
    {"leading zeros aside", "0101", "01234-5", "5", "000012345-6", "6", "101", "12345", "123456", true},
    {"registered without check digits", "101", "01234-5", "5", "12345-6", "6", "101", "1234", "12345", true},
    {"another account", "101", "1234-5", "5", "12345-6", "6", "101", "12345", "123457", false},
    {"another bank", "202", "1234-5", "5", "12345-6", "6", "101", "12345", "123456", false},
    {"the bank with its check digit", "101-7", "1234-5", "5", "12345-6", "6", "101", "12345", "123456", true},
    {"another bank with its check digit", "341-7", "1234-5", "5", "12345-6", "6", "101", "12345", "123456",
     false},
    {"a bank written without digits", "ITAU", "1234-5", "5", "12345-6", "6", "101", "12345", "123456", false},
    {"a bank of a check digit alone", "-101", "1234-5", "5", "12345-6", "6", "101", "12345", "123456", false},
    {"a file without bank matches any bank", "", "1234-5", "5", "12345-6", "6", "303", "12345", "123456",
     true},
    {"no check digit to drop", "101", "12345", "", "123456", "", "101", "1234", "12345", false},
    // OFX makes the branch optional: the bank and the account still have to agree.
    {"a file without agency matches any agency", "101", "", "", "12345-6", "6", "101", "9999", "123456",
     true},
    {"a file without agency, of another account", "101", "", "", "12345-6", "6", "101", "9999", "654321",
     false},
};

TEST(StatementValues, AccountsCompareByDigitsWithOrWithoutCheckDigits) {
    for (const MatchCase &c : matchCases) {
        SCOPED_TRACE(c.name);
        StatementAccount account;
        account.bankCode = QString::fromUtf8(c.fileBank);
        account.agency = QString::fromUtf8(c.fileAgency);
        account.agencyDigits = digitsOnly(account.agency);
        account.agencyCheck = QString::fromUtf8(c.fileAgencyCheck);
        account.account = QString::fromUtf8(c.fileAccount);
        account.accountDigits = digitsOnly(account.account);
        account.accountCheck = QString::fromUtf8(c.fileAccountCheck);
        EXPECT_EQ(account.matches(QString::fromUtf8(c.bank), QString::fromUtf8(c.agency),
                                  QString::fromUtf8(c.account)),
                  c.matches);
    }
}

} // namespace
} // namespace bco::statements
