#pragma once

#include <map>
#include <optional>
#include <stdexcept>

#include <QString>
#include <QStringList>

namespace bco {

// A configuration file of sections and keys, read as people write it:
//
//   [section]
//   key = value
//
// A value is the whole rest of its line with its outer blanks removed, commas, semicolons and number signs
// included (a PostgreSQL address's password may hold any of them); a value wrapped in double quotes loses
// them. Lines that start with '#' or ';' are comments. Keys are "section/key". Anything else (a line with no
// '=', a key before any section, an unfinished section heading, a comment after a value: a blank then ';'
// or '#' in a value not quoted, which other readers cut there) is refused with its line number, rather than
// read as something else or left unread for the program to go on without it.
class IniFile {
public:
    // Throws IniFileError for a file that cannot be read or is malformed.
    static IniFile read(const QString &path);
    static IniFile parse(const QByteArray &text);

    std::optional<QString> value(const QString &key) const;
    bool contains(const QString &key) const { return values_.contains(key); }
    // The first key of the file, by its line, that is none of `known`, with that line: a misspelt key or
    // section would otherwise be no setting at all, and its default taken without a word.
    std::optional<std::pair<QString, int>> firstUnknown(const QStringList &known) const;

private:
    struct Entry {
        QString value;
        int line = 0;
    };
    std::map<QString, Entry> values_;
};

// What is wrong with a file, for the program to say in its own language.
class IniFileError : public std::runtime_error {
public:
    enum class Kind { Unreadable, BadSectionHeading, NoEquals, KeyBeforeSection, CommentAfterValue };
    IniFileError(Kind kind, int line, const QString &key)
        : std::runtime_error("malformed configuration file")
        , kind_(kind)
        , line_(line)
        , key_(key) {}
    Kind kind() const { return kind_; }
    int line() const { return line_; } // from 1; 0 for an unreadable file
    const QString &key() const { return key_; }

private:
    Kind kind_;
    int line_;
    QString key_;
};

} // namespace bco
