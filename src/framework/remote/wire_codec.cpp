#include "framework/remote/wire_codec.h"

namespace bco {

namespace {

constexpr char ResultKey[] = "result";
constexpr char ArgsKey[] = "args";
constexpr char ErrorKey[] = "error";
constexpr char IncidentKey[] = "incident";

void writeKey(CborWriter &writer, const char *key) {
    writer.appendTextString(QByteArrayView(key, static_cast<qsizetype>(qstrlen(key))));
}

void writeArgs(CborWriter &writer, const VariantList &args) {
    writer.startArray(static_cast<quint64>(args.size()));
    for (const Variant &arg : args)
        writeVariant(writer, arg);
}

} // namespace

QByteArray rpcPath(QStringView serverName, QStringView method) {
    return QStringLiteral("/rpc/%1/%2").arg(serverName, method).toUtf8();
}

QByteArray encodeRequest(const VariantList &args) {
    CborWriter writer;
    writeArgs(writer, args);
    return writer.take();
}

VariantList decodeRequest(QByteArrayView body, const DecodeLimits &limits) {
    VariantReader reader(body, limits);
    Variant request = reader.readVariant();
    reader.expectEnd();
    if (!request.isArray())
        throw DecodeError(std::string("a request is the array of the arguments, found ") +
                          Variant::typeName(request.type()));
    return std::move(request.array());
}

namespace {

void writeAnswer(CborWriter &writer, const Variant &result, const VariantList &args) {
    writer.startMap(2);
    writeKey(writer, ResultKey);
    writeVariant(writer, result);
    writeKey(writer, ArgsKey);
    writeArgs(writer, args);
}

void writeError(CborWriter &writer, const QString &message, const QString &incident) {
    writer.startMap(incident.isEmpty() ? 1 : 2);
    writeKey(writer, ErrorKey);
    writer.append(message);
    if (!incident.isEmpty()) {
        writeKey(writer, IncidentKey);
        writer.append(incident);
    }
}

WireAnswer readAnswer(VariantReader &reader) {
    WireAnswer answer;
    bool hasResult = false, hasArgs = false, hasError = false, hasIncident = false;
    const auto once = [&reader](bool &seen, const char *key) {
        if (seen)
            reader.fail(QStringLiteral("the answer holds \"%1\" twice").arg(QLatin1StringView(key)));
        seen = true;
    };
    reader.enterMap("answer");
    while (reader.hasNext()) {
        const QString key = reader.readText("answer key");
        if (key == QLatin1StringView(ResultKey)) {
            once(hasResult, ResultKey);
            answer.result = reader.readVariant(1);
        } else if (key == QLatin1StringView(ArgsKey)) {
            once(hasArgs, ArgsKey);
            Variant args = reader.readVariant(1);
            if (!args.isArray())
                reader.fail(QStringLiteral("the answer's args must be an array, found %1")
                                .arg(QLatin1StringView(Variant::typeName(args.type()))));
            answer.args = std::move(args.array());
        } else if (key == QLatin1StringView(ErrorKey)) {
            once(hasError, ErrorKey);
            answer.error = reader.readText("error message");
        } else if (key == QLatin1StringView(IncidentKey)) {
            once(hasIncident, IncidentKey);
            answer.incident = reader.readText("incident number");
        } else {
            reader.fail(QStringLiteral("the answer holds an unknown key \"%1\"").arg(key.left(40)));
        }
    }
    reader.leaveContainer("answer");
    if (hasError == (hasResult || hasArgs) || hasResult != hasArgs || (hasIncident && !hasError))
        throw DecodeError("an answer holds result and args, or error alone (with an incident number)");
    answer.ok = !hasError;
    return answer;
}

} // namespace

QByteArray encodeAnswer(const Variant &result, const VariantList &args) {
    return encodeAnswerInPieces(result, args).joined();
}

ByteChain encodeAnswerInPieces(const Variant &result, const VariantList &args) {
    CborWriter writer(CborWriter::Pieces::Kept);
    writeAnswer(writer, result, args);
    return writer.takePieces();
}

QByteArray encodeError(const QString &message, const QString &incident) {
    CborWriter writer;
    writeError(writer, message, incident);
    return writer.take();
}

WireAnswer decodeAnswer(QByteArrayView body, const DecodeLimits &limits) {
    VariantReader reader(body, limits);
    WireAnswer answer = readAnswer(reader);
    reader.expectEnd();
    return answer;
}

QByteArray batchPath(QStringView serverName) {
    return QStringLiteral("/rpc-batch/%1").arg(serverName).toUtf8();
}

QByteArray encodeBatchRequest(const std::vector<WireCall> &calls) {
    CborWriter writer;
    writer.startArray(static_cast<quint64>(calls.size()));
    for (const WireCall &call : calls) {
        writer.startArray(2);
        writer.append(call.method);
        writeArgs(writer, call.args);
    }
    return writer.take();
}

std::vector<WireCall> decodeBatchRequest(QByteArrayView body, const DecodeLimits &limits, size_t maxCalls) {
    VariantReader reader(body, limits);
    std::vector<WireCall> calls;
    reader.enterArray("batch");
    while (reader.hasNext()) {
        if (calls.size() == maxCalls)
            reader.fail(QStringLiteral("the batch holds more than %1 calls").arg(maxCalls));
        reader.enterArray("call");
        WireCall call;
        call.method = reader.readText("method name");
        Variant args = reader.readVariant(2);
        if (!args.isArray())
            reader.fail(QStringLiteral("a call's arguments must be an array, found %1")
                            .arg(QLatin1StringView(Variant::typeName(args.type()))));
        call.args = std::move(args.array());
        reader.leaveContainer("call");
        calls.push_back(std::move(call));
    }
    reader.leaveContainer("batch");
    reader.expectEnd();
    return calls;
}

QByteArray encodeBatchAnswer(const std::vector<WireAnswer> &answers) {
    CborWriter writer;
    writer.startArray(static_cast<quint64>(answers.size()));
    for (const WireAnswer &answer : answers) {
        if (answer.ok)
            writeAnswer(writer, answer.result, answer.args);
        else
            writeError(writer, answer.error, answer.incident);
    }
    return writer.take();
}

std::vector<WireAnswer> decodeBatchAnswer(QByteArrayView body, const DecodeLimits &limits) {
    VariantReader reader(body, limits);
    std::vector<WireAnswer> answers;
    reader.enterArray("batch answer");
    while (reader.hasNext())
        answers.push_back(readAnswer(reader));
    reader.leaveContainer("batch answer");
    reader.expectEnd();
    return answers;
}

} // namespace bco
