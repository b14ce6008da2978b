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

QByteArray encodeAnswer(const Variant &result, const VariantList &args) {
    CborWriter writer;
    writer.startMap(2);
    writeKey(writer, ResultKey);
    writeVariant(writer, result);
    writeKey(writer, ArgsKey);
    writeArgs(writer, args);
    return writer.take();
}

QByteArray encodeError(const QString &message, const QString &incident) {
    CborWriter writer;
    writer.startMap(incident.isEmpty() ? 1 : 2);
    writeKey(writer, ErrorKey);
    writer.append(message);
    if (!incident.isEmpty()) {
        writeKey(writer, IncidentKey);
        writer.append(incident);
    }
    return writer.take();
}

WireAnswer decodeAnswer(QByteArrayView body, const DecodeLimits &limits) {
    VariantReader reader(body, limits);
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
    reader.expectEnd();
    if (hasError == (hasResult || hasArgs) || hasResult != hasArgs || (hasIncident && !hasError))
        throw DecodeError("an answer holds result and args, or error alone (with an incident number)");
    answer.ok = !hasError;
    return answer;
}

} // namespace bco
