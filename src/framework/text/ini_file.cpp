#include "framework/text/ini_file.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace bco {

IniFile IniFile::read(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw IniFileError(IniFileError::Kind::Unreadable, 0, QString());
    return parse(file.readAll());
}

IniFile IniFile::parse(const QByteArray &text) {
    IniFile file;
    QString section;
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QString whole = QString::fromUtf8(text);
    if (whole.startsWith(QChar(0xFEFF)))
        whole.remove(0, 1);
    const QStringList lines = whole.split(lineEnd);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const auto refuse = [&](IniFileError::Kind kind, const QString &key = {}) {
            return IniFileError(kind, static_cast<int>(i + 1), key);
        };
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || line.size() < 3)
                throw refuse(IniFileError::Kind::BadSectionHeading);
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            throw refuse(IniFileError::Kind::NoEquals);
        const QString key = line.left(equals).trimmed();
        if (section.isEmpty())
            throw refuse(IniFileError::Kind::KeyBeforeSection, key);
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
            value = value.mid(1, value.size() - 2);
        } else {
            static const QRegularExpression comment(QStringLiteral("\\s[;#]"));
            if (value.contains(comment))
                throw refuse(IniFileError::Kind::CommentAfterValue, key);
        }
        file.values_[section + u'/' + key] = {value, static_cast<int>(i + 1)};
    }
    return file;
}

std::optional<QString> IniFile::value(const QString &key) const {
    const auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second.value;
}

std::optional<std::pair<QString, int>> IniFile::firstUnknown(const QStringList &known) const {
    std::optional<std::pair<QString, int>> first;
    for (const auto &[key, entry] : values_)
        if (!known.contains(key) && (!first || entry.line < first->second))
            first = {key, entry.line};
    return first;
}

} // namespace bco
