#pragma once

#include <QDate>
#include <QList>
#include <QString>

// Which of an account's open movements a bank statement's open lines stand for: the proposals of the
// reconciliation. Pure: it reads nothing and writes nothing, so that its rules are the same for the screen,
// the command-line import and the tests, and its cost is the cost of the lists it is given.
namespace bco::server {

// A statement line not yet reconciled.
struct OpenLine {
    QString statement, line; // CDSEQUEXBA, NRSEQMOVREBA
    qint64 version = 0;      // NRVERSAO of the line
    QDate date;
    QChar kind;       // 'C' or 'D'
    qint64 cents = 0; // never negative
    QString document; // as the bank wrote it; may be empty
};

// A movement of the books not yet reconciled.
struct OpenMovement {
    QString number; // NRMOVBANC
    qint64 version = 0;
    QDate date;
    QChar kind;
    qint64 cents = 0;
    QString document;       // NRDOCMBANC
    QString cheque;         // the cheque that paid a debit, empty when none
    QString description;    // DSHISMBANC
    bool cancelled = false; // a reversal, or a movement a reversal cancels
};

// The bounds of the search. A line is paired with one movement of its kind and value, or with a group of
// 2 to maxGroup movements of its kind whose values add up to it to the cent, each within windowDays days of
// the line either way. A group is looked for only among the groupCandidates movements nearest the line's day
// (ties: the earlier, then the lower number) whose values are below the line's, so that one line costs at
// most the combinations of those; a line is given at most maxProposals proposals.
struct MatchRules {
    int windowDays = 3;
    int maxGroup = 4;
    int groupCandidates = 16;
    int maxProposals = 5;
};

// One proposal for one line: a movement, or a group of movements, in the order of their numbers.
struct Proposal {
    int line = 0;                // index into the lines given
    QList<int> movements;        // indices into the movements given
    int rank = 1;                // 1 is the best proposal of its line
    bool documentAgrees = false; // the line's document is the movement's document or cheque number
    int days = 0;                // the largest distance, in days, between the line and a movement of it
    bool decided = false;        // the one proposal of its line that may be reconciled without an operator
};

// The proposals for each line, best first within a line, lines in the order given. The rule:
// - a line whose kind and value one movement has is offered such movements only, ranked: a document or
//   cheque number that agrees first, then the nearer day, the earlier day, the lower number, and cancelled
//   movements (reversals and what they reverse) after all others; groups are looked for only for a line no
//   single movement fits, ranked by their largest distance in days, then by their size;
// - a proposal is decided when it is its line's only proposal that is not of cancelled movements, or else its
//   line's only single movement whose document agrees; two decided proposals that share a movement are both
//   undecided (the operator chooses), and a movement of a decided proposal is offered to no other line, whose
//   proposals are then weighed again, until nothing changes; a line with a decided proposal is answered with
//   that proposal alone.
// Documents agree when both have digits and their digits are the same number (leading zeros aside), or,
// without digits, when they are the same text apart from letter case and outer blanks.
QList<Proposal> proposeMatches(const QList<OpenLine> &lines, const QList<OpenMovement> &movements,
                               const MatchRules &rules = {});

// Whether a bank's document and one of the books agree, by the rule above.
bool documentsAgree(const QString &bank, const QString &books);

} // namespace bco::server
