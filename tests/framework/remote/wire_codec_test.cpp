#include <functional>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCborStreamWriter>

#include "framework/remote/wire_codec.h"

using namespace bco;
using ::testing::HasSubstr;

namespace {

DataPacket entryPacket() {
    DataPacket packet({{"NRMOVBANC", FieldKind::Text, 10, true}, {"VRMOVBANC", FieldKind::Float}});
    packet.appendValues({"0000000001", 150.75});
    return packet;
}

QByteArray cbor(const std::function<void(QCborStreamWriter &)> &write) {
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    write(writer);
    return bytes;
}

} // namespace

TEST(WireCodecTest, RequestsCarryTheArgumentsInOrder) {
    const VariantList args{
        "001", QDate(2024, 3, 15), 2, 10.5, Variant(), VariantList{"C0001", "D0002"}, entryPacket()};
    EXPECT_EQ(decodeRequest(encodeRequest(args)), args);
    EXPECT_EQ(decodeRequest(encodeRequest({})), VariantList{});
}

TEST(WireCodecTest, AnswersCarryResultAndArgumentsOrTheError) {
    const WireAnswer answer = decodeAnswer(encodeAnswer(entryPacket(), {"S", QDate(2024, 3, 15)}));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.result, Variant(entryPacket()));
    EXPECT_EQ(answer.args, (VariantList{"S", QDate(2024, 3, 15)}));

    const WireAnswer failure = decodeAnswer(encodeError(QStringLiteral("account 999 does not exist")));
    EXPECT_FALSE(failure.ok);
    EXPECT_EQ(failure.error, QStringLiteral("account 999 does not exist"));
}

// A long list is encoded in pieces, which the server sends as they stand: read in any runs, across the
// pieces' ends, they are the answer's bytes.
TEST(WireCodecTest, ALongAnswerSentInItsPiecesIsTheAnswer) {
    DataPacket list({{"NRMOVBANC", FieldKind::Text, 10, true}, {"VRMOVBANC", FieldKind::Float}});
    for (int i = 0; i < 40'000; ++i)
        list.appendValues({QString::number(i).rightJustified(10, u'0'), i / 100.0});
    const VariantList args{"070", QDate(2024, 3, 15)};
    const ByteChain pieces = encodeAnswerInPieces(list, args);
    ASSERT_GT(pieces.pieces().size(), 1u);
    const QByteArray whole = encodeAnswer(list, args);
    ASSERT_EQ(pieces.joined(), whole);
    const WireAnswer answer = decodeAnswer(whole);
    EXPECT_EQ(answer.result, Variant(list));
    EXPECT_EQ(answer.args, args);

    const qsizetype firstEnd = pieces.pieces().front().size();
    for (const auto &[offset, length] : std::vector<std::pair<qsizetype, qsizetype>>{
             {0, whole.size()}, {firstEnd - 3, 7}, {firstEnd, 5}, {firstEnd - 1, whole.size()}, {5, 0}}) {
        QByteArray read;
        EXPECT_TRUE(pieces.writeFrom(offset, length, [&](const char *bytes, qsizetype run) {
            read.append(bytes, run);
            return true;
        }));
        EXPECT_EQ(read, whole.mid(offset, length)) << offset << " " << length;
    }
    int runs = 0;
    EXPECT_FALSE(pieces.writeFrom(0, whole.size(), [&](const char *, qsizetype) { return ++runs > 1; }))
        << "a refused run ends the writing";
    EXPECT_EQ(runs, 1);
}

TEST(WireCodecTest, MethodPathsNameServerAndMethod) {
    EXPECT_EQ(rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia"),
              QByteArray("/rpc/BCO11100.rdmLancContCorr/getSaldoDia"));
}

TEST(WireCodecTest, RefusesMalformedBodies) {
    struct Case {
        const char *name;
        QByteArray body;
        const char *message;
        bool isRequest = false;
    };
    const auto map = [](const std::function<void(QCborStreamWriter &)> &entries, int count) {
        return cbor([&](QCborStreamWriter &w) {
            w.startMap(count);
            entries(w);
            w.endMap();
        });
    };
    // PostgreSQL would end such a text at its NUL, where SQLite keeps it whole.
    const QString withNul = QStringLiteral("Dep") + QChar(0) + QStringLiteral("ósito");
    DataPacket nulInPacket = entryPacket();
    nulInPacket.appendValues({withNul, 1.0});
    const Case cases[] = {
        {"a request that is not an array", encodeVariant("getSaldoDia"), "arguments, found text", true},
        {"a request followed by more bytes", encodeRequest({1}) + QByteArray(1, '\0'), "trailing bytes",
         true},
        {"a text argument holding NUL", encodeRequest({withNul}), "holds the character NUL", true},
        {"a packet's text holding NUL", encodeRequest({Variant(nulInPacket)}), "holds the character NUL",
         true},
        {"a batch's argument holding NUL", encodeBatchRequest({{QStringLiteral("getSaldoDia"), {withNul}}}),
         "holds the character NUL", true},
        {"an answer that is not a map", encodeVariant(VariantList{}), "answer: expected a map"},
        {"a result without its arguments",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("result"));
                 w.append(1);
             },
             1),
         "result and args, or error alone"},
        {"an error beside a result",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("error"));
                 w.append(QLatin1StringView("x"));
                 w.append(QLatin1StringView("result"));
                 w.append(1);
                 w.append(QLatin1StringView("args"));
                 w.startArray(0);
                 w.endArray();
             },
             3),
         "result and args, or error alone"},
        {"arguments that are not an array",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("result"));
                 w.append(1);
                 w.append(QLatin1StringView("args"));
                 w.append(2);
             },
             2),
         "args must be an array, found integer"},
        {"an error that is not text",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("error"));
                 w.append(500);
             },
             1),
         "error message: expected text"},
        {"an unknown key",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("warning"));
                 w.append(1);
             },
             1),
         "unknown key \"warning\""},
        {"a key given twice",
         map(
             [](QCborStreamWriter &w) {
                 w.append(QLatin1StringView("error"));
                 w.append(QLatin1StringView("a"));
                 w.append(QLatin1StringView("error"));
                 w.append(QLatin1StringView("b"));
             },
             2),
         "\"error\" twice"},
    };
    for (const Case &c : cases) {
        try {
            if (c.isRequest && QByteArrayView(c.name).startsWith("a batch"))
                decodeBatchRequest(c.body, RequestLimits);
            else if (c.isRequest)
                decodeRequest(c.body, RequestLimits);
            else
                decodeAnswer(c.body);
            ADD_FAILURE() << c.name << ": decoded without complaint";
        } catch (const DecodeError &error) {
            EXPECT_THAT(error.what(), HasSubstr(c.message)) << c.name;
        }
    }
    // What the server answers is read as it came.
    EXPECT_EQ(decodeAnswer(encodeAnswer(withNul, {})).result, Variant(withNul));
}
