#pragma once

#include <initializer_list>
#include <stdexcept>
#include <vector>

#include <QString>

#include "framework/checks/dialogs.h"

namespace bco {

// Asking a catalogue for a key it does not hold is a fault of the program (a misspelt key, a key the
// server answered that the form never defined), reported with the key so it can be found.
class UnknownMessageKey : public std::logic_error {
public:
    explicit UnknownMessageKey(const QString &key);
};

// A form's message catalogue (`msgPadrao`): every text the form shows the operator, by key. Rows are
// written as the forms quote them, "key|text"; the text is everything after the first bar, kept exactly
// (outer blanks included, since some texts end in one before the operator's answer). Keys are matched
// without regard to letter case, as the forms and the server spell them inconsistently; a key defined
// twice is refused when it is added.
class TMessages {
public:
    TMessages() = default;
    TMessages(std::initializer_list<const char *> rows);

    // Throws std::invalid_argument for a row without a bar, an empty key or a key already defined.
    void add(const QString &row);
    void add(const QString &key, const QString &text);

    bool contains(const QString &key) const;
    int count() const { return static_cast<int>(rows_.size()); }

    // The text of `key`; throws UnknownMessageKey when the catalogue does not hold it.
    QString Msg(const QString &key) const;

    // Shows the text of `key` through the dialogs service and answers the chosen button (a notice offers
    // Ok; a question Yes and No, and the caller goes on only on Yes), with `details` below it when given.
    // There is no help system: the help context is accepted for the forms' sake and ignored.
    MsgButton ShowMsg(const QString &key, MsgKind kind, MsgButtons buttons, int helpContext = 0,
                      const QString &details = QString()) const;

private:
    struct Row {
        QString key;
        QString text;
    };
    const Row *find(const QString &key) const;

    std::vector<Row> rows_;
};

} // namespace bco
