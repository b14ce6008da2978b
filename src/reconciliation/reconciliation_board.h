#pragma once

#include <optional>

#include <QDate>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include "framework/remote/net_connection.h"
#include "statement_model/statement_packets.h"

// What the reconciliation screen shows and decides, without the screen: a statement's lines, the account's
// movements of the statement's period, the server's proposals and the pairs the operator accepted, ready to
// be sent in one call.
namespace bco {

// A line of the statement as the server lists it.
struct BoardLine {
    QString statement, line, version; // CDSEQUEXBA, NRSEQMOVREBA, NRVERSAO
    QDate date;
    QChar kind; // 'C' or 'D'
    qint64 cents = 0;
    QString document, description;
    bool reconciled = false;
};

// A movement of the account (an entry of the books) in the statement's period.
struct BoardMovement {
    QString number, version; // NRMOVBANC, NRVERSAO
    QDate date;
    QChar kind;
    qint64 cents = 0; // not negative; the kind says which way
    QString document, description;
    QString statement, line; // the line it is reconciled with; empty while open
    bool open() const { return statement.isEmpty(); }
};

// The best proposal the server made for a line: one movement, or a group whose values add up to the line.
struct BoardProposal {
    QStringList movements;
    bool decided = false; // the only proposal of its line
};

// The statement as the operator works on it. Indexes are positions in lines() and movements().
class ReconciliationBoard {
public:
    ReconciliationBoard() = default;
    // From what GetLinhasExtrato (of `statement` of `account`), GetLancamentos and GetSugestoesConciliacao
    // answered.
    ReconciliationBoard(const QString &account, const QString &statement, const DataPacket &lines,
                        const DataPacket &entries, const DataPacket &proposals);

    const QList<BoardLine> &lines() const { return lines_; }
    const QList<BoardMovement> &movements() const { return movements_; }
    // The movements still open and not accepted for another line.
    QList<int> openMovements() const;
    int movementIndex(const QString &number) const;

    // The best proposal of a line, when it has one the operator did not reject.
    const BoardProposal *proposal(int line) const;
    // The movements accepted for a line (empty when none).
    QStringList accepted(int line) const { return accepted_.value(line); }
    // How many lines have movements accepted.
    int acceptedLines() const { return static_cast<int>(accepted_.size()); }

    // Accepts the line's proposal; answers why not (empty when it was accepted).
    QString accept(int line);
    // Accepts every decided proposal of an open line; answers how many lines.
    int acceptDecided();
    // How many lines acceptDecided would accept.
    int decidedToAccept() const;
    // Forgets the line's acceptance and its proposal.
    void reject(int line);
    // Accepts the movements for the line; answers why not (empty when they were accepted): the line is
    // reconciled, a movement is not open or is taken by another line, of the other kind, or the values do
    // not add up to the line's to the cent.
    QString pair(int line, const QList<int> &movements);

    // Takes over, on this board loaded anew, what the operator decided on `earlier`: each acceptance whose
    // line and movements are unchanged since (same versions) and still open, and each rejection of a line
    // unchanged since. What another operator touched meanwhile is dropped, to be looked at again, and so is
    // everything decided on another account's board, whose statements, lines and movements are numbered
    // alike. Answers how many acceptances were taken over.
    int carryDecisions(const ReconciliationBoard &earlier);

    // The accepted pairs, one per movement, with the versions listed.
    QList<StatementPairing> pendingPairings() const;
    // The pairs that release a reconciled line from its movements.
    QList<StatementPairing> undoPairings(int line) const;

private:
    QString account_;
    QList<BoardLine> lines_;
    QList<BoardMovement> movements_;
    QMap<int, BoardProposal> proposals_;
    QMap<int, QStringList> accepted_;
    QSet<int> rejected_;
};

// The account's balance at the end of a day of the statement's period, as the bank and the books hold it.
struct DailyBalance {
    QDate day;
    std::optional<qint64> bank; // none when the statement states no balance to count from
    qint64 books = 0;
    bool differs() const { return bank && *bank != books; }
};

// Each day from `from` to `to`: the bank's balance counted from its opening balance (at the start of `from`)
// with the board's lines and `storedElsewhere`, or back from its closing balance when the file states no
// opening one; the books' from `booksOpening` (the books' balance at the start of `from`) with the board's
// movements of those days. `storedElsewhere` holds, in signed cents by day, the lines of the period that
// the account's other statements hold: a file that overlaps an earlier one stores none of its lines again,
// yet its balances count them.
QList<DailyBalance> dailyBalances(const ReconciliationBoard &board, const QDate &from, const QDate &to,
                                  std::optional<qint64> bankOpening, std::optional<qint64> bankClosing,
                                  qint64 booksOpening, const QMap<QDate, qint64> &storedElsewhere = {});

// The lines from `from` to `to` of the account's statements `others`, in signed cents by day (credits up,
// debits down): what dailyBalances takes as stored elsewhere. Throws StatementCallError with the server's
// words.
QMap<QDate, qint64> linesOfOtherStatements(NetConnection &server, const QString &account,
                                           const QStringList &others, const QDate &from, const QDate &to);

// Loads the board of `statement` of `account`: its lines, the account's movements from `from` to `to`
// (widened by the proposals' window, so that every movement proposed is listed) and the proposals. Throws
// StatementCallError with the server's words.
ReconciliationBoard loadBoard(NetConnection &server, const QString &account, const QString &statement,
                              const QDate &from, const QDate &to);

} // namespace bco
