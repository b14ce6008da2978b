#pragma once

#include <initializer_list>
#include <stdexcept>
#include <vector>

#include <QString>

namespace bco {

// Asking a catalogue for a key it does not hold is a fault of the program (a misspelt key, a key the
// server answered that the form never defined), reported with the key so it can be found.
class UnknownMessageKey : public std::logic_error {
public:
    explicit UnknownMessageKey(const QString &key);
};

// The texts of a form's message catalogue, by key. Rows are written as the forms quote them, "key|text";
// the text is everything after the first bar, kept exactly (outer blanks included, since some texts end in
// one before the operator's answer). Keys are matched without regard to letter case, as the forms and the
// server spell them inconsistently; a key defined twice is refused when it is added. Showing a text is the
// business of TMessages (framework/checks/messages.h), which the forms hold.
class MessageCatalogue {
public:
    MessageCatalogue() = default;
    MessageCatalogue(std::initializer_list<const char *> rows);

    // Throws std::invalid_argument for a row without a bar, an empty key or a key already defined.
    void add(const QString &row);
    void add(const QString &key, const QString &text);

    bool contains(const QString &key) const;
    int count() const { return static_cast<int>(rows_.size()); }

    // The text of `key`; throws UnknownMessageKey when the catalogue does not hold it.
    QString Msg(const QString &key) const;

private:
    struct Row {
        QString key;
        QString text;
    };
    const Row *find(const QString &key) const;

    std::vector<Row> rows_;
};

} // namespace bco
