#include "framework/text/message_catalogue.h"

namespace bco {

UnknownMessageKey::UnknownMessageKey(const QString &key)
    : std::logic_error(("message key not in the catalogue: " + key).toStdString()) {
}

MessageCatalogue::MessageCatalogue(std::initializer_list<const char *> rows) {
    for (const char *row : rows)
        add(QString::fromUtf8(row));
}

void MessageCatalogue::add(const QString &row) {
    const qsizetype bar = row.indexOf(QLatin1Char('|'));
    if (bar < 0)
        throw std::invalid_argument(("catalogue row without a bar: " + row).toStdString());
    add(row.left(bar), row.mid(bar + 1));
}

void MessageCatalogue::add(const QString &key, const QString &text) {
    if (key.isEmpty())
        throw std::invalid_argument(("catalogue row without a key: " + text).toStdString());
    if (find(key))
        throw std::invalid_argument(("catalogue key defined twice: " + key).toStdString());
    rows_.push_back({key, text});
}

bool MessageCatalogue::contains(const QString &key) const {
    return find(key) != nullptr;
}

QString MessageCatalogue::Msg(const QString &key) const {
    if (const Row *row = find(key))
        return row->text;
    throw UnknownMessageKey(key);
}

// A catalogue holds tens of rows and is read once per message shown; a linear search is enough.
const MessageCatalogue::Row *MessageCatalogue::find(const QString &key) const {
    for (const Row &row : rows_) {
        if (row.key.compare(key, Qt::CaseInsensitive) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace bco
