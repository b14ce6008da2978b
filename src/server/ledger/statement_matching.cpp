#include "server/ledger/statement_matching.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace bco::server {

namespace {

QString digitsWithoutLeadingZeros(const QString &text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && (!digits.isEmpty() || c != u'0'))
            digits.append(c);
    }
    return digits;
}

bool hasDigit(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

qint64 bucketKey(QChar kind, qint64 cents) {
    return cents * 2 + (kind == u'D' ? 1 : 0);
}

class Matcher {
public:
    Matcher(const QList<OpenLine> &lines, const QList<OpenMovement> &movements, const MatchRules &rules)
        : lines_(lines)
        , movements_(movements)
        , rules_(rules)
        , owner_(static_cast<size_t>(movements.size()), -1)
        , referrers_(static_cast<size_t>(movements.size())) {
        for (int m = 0; m < movements_.size(); ++m) {
            byValue_[bucketKey(movements_[m].kind, movements_[m].cents)].push_back(m);
            (movements_[m].kind == u'D' ? debits_ : credits_).push_back(m);
        }
        const auto byDate = [this](int a, int b) {
            const OpenMovement &x = movements_[a], &y = movements_[b];
            return x.date != y.date ? x.date < y.date : x.number < y.number;
        };
        for (auto &[key, list] : byValue_)
            std::sort(list.begin(), list.end(), byDate);
        std::sort(credits_.begin(), credits_.end(), byDate);
        std::sort(debits_.begin(), debits_.end(), byDate);
    }

    QList<Proposal> run() {
        const int count = static_cast<int>(lines_.size());
        proposals_.assign(static_cast<size_t>(count), {});
        decided_.assign(static_cast<size_t>(count), false);
        contested_.assign(static_cast<size_t>(count), false);
        std::vector<int> contestedLines;
        std::vector<int> work(static_cast<size_t>(count));
        for (int l = 0; l < count; ++l)
            work[static_cast<size_t>(l)] = l;
        // Each round decides at least one more line or ends, and weighs again only the lines that lost a
        // movement to a decision.
        while (!work.empty()) {
            for (const int l : work)
                propose(l);
            std::unordered_map<int, int> usedBy; // movement -> the line whose decision uses it; -2 contested
            // A line left to the operator still claims its movement: a line that comes to decide on it in a
            // later round is contested too, instead of taking it from under the line that wanted it first.
            for (const int l : contestedLines) {
                if (const int choice = decision(l); choice >= 0) {
                    for (const int m :
                         proposals_[static_cast<size_t>(l)][static_cast<size_t>(choice)].movements)
                        usedBy[m] = -2;
                }
            }
            std::vector<int> deciding;
            for (const int l : work) {
                if (decided_[static_cast<size_t>(l)] || contested_[static_cast<size_t>(l)])
                    continue;
                const int choice = decision(l);
                if (choice < 0)
                    continue;
                deciding.push_back(l);
                for (const int m :
                     proposals_[static_cast<size_t>(l)][static_cast<size_t>(choice)].movements) {
                    const auto [it, inserted] = usedBy.emplace(m, l);
                    if (!inserted) {
                        if (it->second >= 0)
                            contested_[static_cast<size_t>(it->second)] = true;
                        contested_[static_cast<size_t>(l)] = true;
                        it->second = -2;
                    }
                }
            }
            std::vector<int> next;
            for (const int l : deciding) {
                if (contested_[static_cast<size_t>(l)]) {
                    contestedLines.push_back(l);
                    continue;
                }
                auto &mine = proposals_[static_cast<size_t>(l)];
                const int choice = decision(l);
                Proposal chosen = mine[static_cast<size_t>(choice)];
                chosen.decided = true;
                chosen.rank = 1;
                mine = {chosen};
                decided_[static_cast<size_t>(l)] = true;
                for (const int m : chosen.movements) {
                    owner_[static_cast<size_t>(m)] = l;
                    for (const int other : referrers_[static_cast<size_t>(m)]) {
                        if (other != l && !decided_[static_cast<size_t>(other)])
                            next.push_back(other);
                    }
                }
            }
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            work = std::move(next);
        }
        QList<Proposal> all;
        for (const auto &mine : proposals_) {
            for (const Proposal &proposal : mine)
                all.append(proposal);
        }
        return all;
    }

private:
    bool available(int movement, int line) const {
        const int owner = owner_[static_cast<size_t>(movement)];
        return owner < 0 || owner == line;
    }

    int distance(const OpenLine &line, int movement) const {
        return static_cast<int>(std::abs(line.date.daysTo(movements_[movement].date)));
    }

    bool agrees(const OpenLine &line, int movement) const {
        const OpenMovement &m = movements_[movement];
        return documentsAgree(line.document, m.document) || documentsAgree(line.document, m.cheque);
    }

    // The line's proposals from the movements no other line's decision took.
    void propose(int l) {
        const OpenLine &line = lines_[l];
        std::vector<Proposal> found;
        const auto bucket = byValue_.find(bucketKey(line.kind, line.cents));
        if (bucket != byValue_.end()) {
            for (const int m : window(bucket->second, line)) {
                if (!available(m, l))
                    continue;
                found.push_back({l, {m}, 1, agrees(line, m), distance(line, m), false});
            }
            const auto better = [this](const Proposal &a, const Proposal &b) {
                const OpenMovement &x = movements_[a.movements[0]], &y = movements_[b.movements[0]];
                if (x.cancelled != y.cancelled)
                    return !x.cancelled;
                if (a.documentAgrees != b.documentAgrees)
                    return a.documentAgrees;
                if (a.days != b.days)
                    return a.days < b.days;
                return x.date != y.date ? x.date < y.date : x.number < y.number;
            };
            std::sort(found.begin(), found.end(), better);
        }
        if (found.empty() && line.cents > 0)
            found = groups(l);
        if (found.size() > static_cast<size_t>(rules_.maxProposals))
            found.resize(static_cast<size_t>(rules_.maxProposals));
        for (size_t i = 0; i < found.size(); ++i) {
            found[i].rank = static_cast<int>(i) + 1;
            for (const int m : found[i].movements)
                referrers_[static_cast<size_t>(m)].push_back(l);
        }
        proposals_[static_cast<size_t>(l)] = std::move(found);
    }

    // The movements of a date-ordered list within the window of the line's day.
    std::vector<int> window(const std::vector<int> &byDate, const OpenLine &line) const {
        const QDate first = line.date.addDays(-rules_.windowDays);
        const QDate last = line.date.addDays(rules_.windowDays);
        auto it = std::lower_bound(byDate.begin(), byDate.end(), first,
                                   [this](int m, const QDate &day) { return movements_[m].date < day; });
        std::vector<int> within;
        for (; it != byDate.end() && movements_[*it].date <= last; ++it)
            within.push_back(*it);
        return within;
    }

    std::vector<Proposal> groups(int l) {
        const OpenLine &line = lines_[l];
        std::vector<int> candidates;
        for (const int m : window(line.kind == u'D' ? debits_ : credits_, line)) {
            if (available(m, l) && movements_[m].cents > 0 && movements_[m].cents < line.cents)
                candidates.push_back(m);
        }
        const auto nearer = [&](int a, int b) {
            const int da = distance(line, a), db = distance(line, b);
            if (da != db)
                return da < db;
            const OpenMovement &x = movements_[a], &y = movements_[b];
            return x.date != y.date ? x.date < y.date : x.number < y.number;
        };
        if (candidates.size() > static_cast<size_t>(rules_.groupCandidates)) {
            std::partial_sort(candidates.begin(), candidates.begin() + rules_.groupCandidates,
                              candidates.end(), nearer);
            candidates.resize(static_cast<size_t>(rules_.groupCandidates));
        }
        // Largest first, so that a partial sum past the line's value ends its branch at once.
        std::sort(candidates.begin(), candidates.end(),
                  [this](int a, int b) { return movements_[a].cents > movements_[b].cents; });
        std::vector<Proposal> found;
        std::vector<int> chosen;
        const size_t enough = static_cast<size_t>(rules_.maxProposals) * 4;
        const auto search = [&](auto &self, size_t from, qint64 sum) -> void {
            if (found.size() >= enough)
                return;
            if (sum == line.cents && chosen.size() >= 2) {
                Proposal proposal{l, {}, 1, false, 0, false};
                for (const int m : chosen) {
                    proposal.movements.append(m);
                    proposal.days = std::max(proposal.days, distance(line, m));
                }
                std::sort(proposal.movements.begin(), proposal.movements.end(),
                          [this](int a, int b) { return movements_[a].number < movements_[b].number; });
                found.push_back(proposal);
                return;
            }
            if (chosen.size() == static_cast<size_t>(rules_.maxGroup))
                return;
            for (size_t i = from; i < candidates.size(); ++i) {
                const qint64 next = sum + movements_[candidates[i]].cents;
                if (next > line.cents)
                    continue;
                chosen.push_back(candidates[i]);
                self(self, i + 1, next);
                chosen.pop_back();
            }
        };
        search(search, 0, 0);
        const auto cancelledIn = [this](const Proposal &p) {
            return std::any_of(p.movements.begin(), p.movements.end(),
                               [this](int m) { return movements_[m].cancelled; });
        };
        std::sort(found.begin(), found.end(), [&](const Proposal &a, const Proposal &b) {
            if (cancelledIn(a) != cancelledIn(b))
                return !cancelledIn(a);
            if (a.days != b.days)
                return a.days < b.days;
            if (a.movements.size() != b.movements.size())
                return a.movements.size() < b.movements.size();
            for (qsizetype i = 0; i < a.movements.size(); ++i) {
                if (a.movements[i] != b.movements[i])
                    return movements_[a.movements[i]].number < movements_[b.movements[i]].number;
            }
            return false;
        });
        return found;
    }

    // The proposal of line `l` that may be reconciled without an operator, or -1.
    int decision(int l) const {
        const auto &mine = proposals_[static_cast<size_t>(l)];
        int live = -1, liveCount = 0, agreeing = -1, agreeingCount = 0;
        for (size_t i = 0; i < mine.size(); ++i) {
            const Proposal &p = mine[i];
            const bool cancelled = std::any_of(p.movements.begin(), p.movements.end(),
                                               [this](int m) { return movements_[m].cancelled; });
            if (cancelled)
                continue;
            ++liveCount;
            live = static_cast<int>(i);
            if (p.documentAgrees && p.movements.size() == 1) {
                ++agreeingCount;
                agreeing = static_cast<int>(i);
            }
        }
        if (liveCount == 1)
            return live;
        if (agreeingCount == 1)
            return agreeing;
        return -1;
    }

    const QList<OpenLine> &lines_;
    const QList<OpenMovement> &movements_;
    MatchRules rules_;
    std::unordered_map<qint64, std::vector<int>> byValue_;
    std::vector<int> credits_, debits_;
    std::vector<int> owner_;                  // movement -> the line whose decision took it, or -1
    std::vector<std::vector<int>> referrers_; // movement -> lines that were offered it
    std::vector<std::vector<Proposal>> proposals_;
    std::vector<bool> decided_, contested_;
};

} // namespace

bool documentsAgree(const QString &bank, const QString &books) {
    const QString a = bank.trimmed(), b = books.trimmed();
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (hasDigit(a) || hasDigit(b)) {
        const QString x = digitsWithoutLeadingZeros(a), y = digitsWithoutLeadingZeros(b);
        return hasDigit(a) && hasDigit(b) && x == y;
    }
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QList<Proposal> proposeMatches(const QList<OpenLine> &lines, const QList<OpenMovement> &movements,
                               const MatchRules &rules) {
    return Matcher(lines, movements, rules).run();
}

} // namespace bco::server
