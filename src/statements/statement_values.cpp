#include "statements/statement_values.h"

#include <algorithm>
#include <optional>

#include <QStringDecoder>

#include "framework/text/whole_characters.h"

namespace bco::statements {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int number(QStringView digits) {
    int value = 0;
    for (const QChar c : digits)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

// What Windows-1252 puts at 0x80-0x9F; the five bytes it leaves undefined keep their Latin-1 code.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromCp1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = QChar(b >= 0x80 && b <= 0x9F ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

} // namespace

bool allDigits(QStringView text) {
    for (const QChar c : text)
        if (!isDigit(c))
            return false;
    return true;
}

std::optional<qint64> ofxCents(QStringView text) {
    QStringView rest = text.trimmed();
    bool negative = false;
    if (rest.startsWith(u'-') || rest.startsWith(u'+')) {
        negative = rest.front() == u'-';
        rest = rest.mid(1);
    }
    qsizetype mark = -1;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == u'.' || rest[i] == u',') {
            if (mark >= 0)
                return std::nullopt;
            mark = i;
        } else if (!isDigit(rest[i])) {
            return std::nullopt;
        }
    }
    const QStringView integer = mark < 0 ? rest : rest.left(mark);
    const QStringView fraction = mark < 0 ? QStringView() : rest.mid(mark + 1);
    if (integer.size() > 15 || (integer.isEmpty() && fraction.isEmpty()))
        return std::nullopt;
    if (mark >= 0 && fraction.isEmpty())
        return std::nullopt;
    // "1,000" or "12.500": a thousands separator to whoever wrote it, though the standard has none; read as
    // decimals it would be a thousandth of the amount.
    if (fraction.size() == 3 &&
        std::any_of(integer.begin(), integer.end(), [](QChar c) { return c != u'0'; }))
        return std::nullopt;
    for (qsizetype i = 2; i < fraction.size(); ++i)
        if (fraction[i] != u'0')
            return std::nullopt;
    qint64 cents = 0;
    for (const QChar c : integer)
        cents = cents * 10 + (c.unicode() - u'0');
    cents *= 100;
    if (!fraction.isEmpty())
        cents += (fraction[0].unicode() - u'0') * 10;
    if (fraction.size() > 1)
        cents += fraction[1].unicode() - u'0';
    return negative ? -cents : cents;
}

QDate ofxDay(QStringView text) {
    const QStringView value = text.trimmed();
    if (value.size() < 8 || !allDigits(value.left(8)))
        return {};
    QStringView rest = value.mid(8);
    qsizetype time = 0;
    while (time < rest.size() && isDigit(rest[time]))
        ++time;
    if (time != 0 && time != 4 && time != 6)
        return {};
    rest = rest.mid(time);
    if (rest.startsWith(u'.')) {
        if (time != 6)
            return {};
        qsizetype fraction = 1;
        while (fraction < rest.size() && isDigit(rest[fraction]))
            ++fraction;
        if (fraction == 1)
            return {};
        rest = rest.mid(fraction);
    }
    if (!rest.isEmpty()) {
        // The zone: "[" offset [":" name] "]", the offset in hours with an optional sign and fraction.
        // Banks also write the offset as ISO 8601 does, "-03:00" or "-0300": the day is kept all the same.
        if (!rest.startsWith(u'[') || !rest.endsWith(u']'))
            return {};
        const QStringView zone = rest.mid(1, rest.size() - 2);
        const qsizetype colon = zone.indexOf(u':');
        QStringView offset = colon < 0 ? zone : zone.left(colon);
        const QStringView name = colon < 0 ? QStringView() : zone.mid(colon + 1);
        if (offset.startsWith(u'-') || offset.startsWith(u'+'))
            offset = offset.mid(1);
        const qsizetype point = offset.indexOf(u'.');
        const bool hoursAndMinutes = point < 0 && offset.size() == 4;
        const QStringView hours = hoursAndMinutes ? offset.left(2) : point < 0 ? offset : offset.left(point);
        const QStringView minutes = hoursAndMinutes ? offset.mid(2)
                                    : point < 0     ? QStringView()
                                                    : offset.mid(point + 1);
        if (hours.isEmpty() || hours.size() > 2 || !allDigits(hours) || number(hours) > 14 ||
            minutes.size() > 2 || !allDigits(minutes) || (point >= 0 && minutes.isEmpty()))
            return {};
        const bool minutesAfterColon = point < 0 && name.size() == 2 && allDigits(name) && number(name) < 60;
        if (name.size() > 8 || (hoursAndMinutes && (!name.isEmpty() || number(minutes) >= 60)))
            return {};
        for (const QChar c : name)
            if (!c.isLetter() && !minutesAfterColon)
                return {};
    }
    return QDate(number(value.left(4)), number(value.mid(4, 2)), number(value.mid(6, 2)));
}

QDate cnabDay(QStringView text) {
    if (text.size() != 8 || !allDigits(text))
        return {};
    return QDate(number(text.mid(4, 4)), number(text.mid(2, 2)), number(text.left(2)));
}

QString decodeStatementText(QByteArrayView bytes) {
    const auto asUtf8 = [](QByteArrayView part) -> std::optional<QString> {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(part);
        if (utf8.hasError())
            return std::nullopt;
        return text;
    };
    if (std::optional<QString> whole = asUtf8(bytes))
        return *whole;
    // Pieces end at a line end of any kind and before a tag, so that a body on one line (OFX 1.x often is)
    // is read value by value; no byte of a character's UTF-8 sequence is one of these.
    QString text;
    text.reserve(bytes.size());
    for (qsizetype from = 0; from < bytes.size();) {
        qsizetype end = from + 1;
        while (end < bytes.size() && bytes[end - 1] != '\n' && bytes[end - 1] != '\r' && bytes[end] != '<')
            ++end;
        const QByteArrayView piece = bytes.sliced(from, end - from);
        const std::optional<QString> utf8 = asUtf8(piece);
        text += utf8 ? *utf8 : fromCp1252(piece);
        from = end;
    }
    return text;
}

QString contentLineKey(const QDate &day, QChar kind, qint64 cents, const QString &document,
                       const QString &description) {
    // Cut so that the id keeps within 255 characters; what is cut never tells two lines of a day apart. Of
    // one line, as the document and the history are stored: a control character left in a file by a charset
    // converted twice stands for a blank.
    return day.toString(u"yyyyMMdd") + u' ' + kind + u' ' + QString::number(cents) + u' ' +
           asOneLine(document).simplified().left(60) + u' ' + asOneLine(description).simplified().left(140);
}

QString withOccurrence(const QString &key, int occurrence) {
    return key + QStringLiteral(" #") + QString::number(occurrence);
}

} // namespace bco::statements
