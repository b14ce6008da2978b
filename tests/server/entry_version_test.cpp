#include <chrono>
#include <functional>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "server_test_support.h"
#include "support/qt_printers.h"

namespace bco::server::testing {
namespace {

// An entry included for a test, with what the entry form holds of it once listed.
struct IncludedEntry {
    EntryRequest request;
    QString accounting; // NRLANCCONT
    QString version;    // NRVERSAO, as GetLancamentos lists it
    Insertion sent;     // the insertion as it was sent, numbers drawn
};

// What every writing call may touch, whole: a refused call must leave all of it as it was.
const char *const everyTable[] = {"MOVBANCARIO",  "MOVCREDBANC",  "MOVDEBIBANC", "CHEQUE",
                                  "LANCCONT",     "LANCCONTITEM", "RATEIOCTB",   "ADIANTCLIUSO",
                                  "ADIANTFORUSO", "NFDEVCLIUSO",  "NFDEVFORUSO", "SALDODIARIO",
                                  "SALDOMENSAL",  "VERSAOLISTA",  "NUMERACAO",   "AUDITORIA"};

// The writing calls on an existing entry (changes, deletion, cheque) with and without the version of the
// entry the client listed, while another client or program writes the entry in between.
class EntryVersionTest : public DemoServerTest {
public:
    // A credit of type 0001, or a supplier's debit of type 0002, of 1,234.56 in account 001, accounted,
    // included through the server and listed.
    IncludedEntry include(char kind) {
        EntryRequest request{.kind = kind,
                             .value = 1234.56,
                             .type = kind == 'C' ? "0001" : "0002",
                             .description = QStringLiteral("Lançamento %1").arg(++included),
                             .document = QStringLiteral("DOC%1").arg(included),
                             .supplier = kind == 'C' ? "" : "FOR0001"};
        const Insertion call = insertion(*server, request);
        const CallOutcome outcome = server->call(call.method, call.args);
        EXPECT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(field(outcome.result.array().at(0).packet(), 0, "CDRESULT").toText(), u"OK");
        IncludedEntry entry{request, {}, {}, call};
        entry.accounting =
            text(QStringLiteral("SELECT NRLANCCONT FROM %1 WHERE CDREDUCONT = '001' AND NRMOVBANC "
                                "= :movimento")
                     .arg(kind == 'C' ? "MOVCREDBANC" : "MOVDEBIBANC"),
                 entry);
        entry.version = listedVersion(entry);
        return entry;
    }

    // The entry's NRVERSAO in the list of its day, the list's last field; empty when it is not listed.
    QString listedVersion(const IncludedEntry &entry) {
        const DataPacket list =
            server
                ->answer(QStringLiteral("GetLancamentos"), {entry.request.account, entry.request.date,
                                                            entry.request.date, 0.0, 0.0, "T", "T", "", "T"})
                .packet();
        EXPECT_EQ(list.fields().last().name, u"NRVERSAO");
        EXPECT_EQ(list.fields().last().size, 20);
        for (int row = 0; row < list.rowCount(); ++row) {
            if (field(list, row, "NRMOVBANC").toText() == entry.request.movement)
                return field(list, row, "NRVERSAO").toText();
        }
        return {};
    }

    QString text(const QString &query, const IncludedEntry &entry) {
        const auto value = sql().scalar(query, {{QStringLiteral("movimento"), entry.request.movement}});
        return value && !value->isNull() ? value->toString() : QString();
    }

    QStringList everything() {
        QStringList rows;
        for (const char *table : everyTable) {
            for (const QString &row : rowsOf(sql(), QStringLiteral("SELECT * FROM %1").arg(table)))
                rows.append(QString::fromLatin1(table) + u' ' + row);
        }
        return rows;
    }

    // The calls of the form, the entry's listed version appended when given.
    static VariantList versioned(VariantList args, const Variant &version) {
        if (!version.isNull())
            args.push_back(version);
        return args;
    }
    CallOutcome change(const IncludedEntry &entry, const Variant &version, const QString &description,
                       const QString &token = {}) {
        const Insertion call = bco::testing::change(entry.request, description);
        return server->callAs(token.isEmpty() ? server->demoToken() : token, call.method,
                              versioned(call.args, version));
    }
    CallOutcome deletion(const IncludedEntry &entry, const Variant &version, const QString &token = {}) {
        return server->callAs(token.isEmpty() ? server->demoToken() : token, QStringLiteral("GetDeletaLanc"),
                              versioned(bco::testing::deletion(entry.request, entry.accounting), version));
    }
    // The cheque of a debit: each debit has its own numbers, one for the operator and one for the other.
    enum class ChequeBy { Operator = 1, Other = 2 };
    CallOutcome cheque(const IncludedEntry &entry, const Variant &version, ChequeBy by,
                       const QString &token = {}) {
        const QString number =
            QStringLiteral("%1%2").arg(static_cast<int>(by)).arg(entry.request.number.right(4));
        return server->callAs(
            token.isEmpty() ? server->demoToken() : token, QStringLiteral("SetEmiteCheque"),
            versioned({entry.request.account, entry.request.number, number, entry.request.date,
                       entry.request.value, QStringLiteral("Favorecido")},
                      version));
    }

    // Reconciles the entry's movement alone on a statement line of its own, as the bank reconciliation does.
    void reconcile(const IncludedEntry &entry) {
        const SqlParams line{{QStringLiteral("conta"), entry.request.account},
                             {QStringLiteral("linha"), entry.request.movement},
                             {QStringLiteral("data"), entry.request.date}};
        sql().execute(QStringLiteral("INSERT INTO EXTRATOBANC (CDREDUCONT, CDSEQUEXBA, DTINIEXTR, DTFIMEXTR, "
                                     "VRSALDINIC, VRSALDFINA) VALUES (:conta, :linha, :data, :data, 0, 0)"),
                      line);
        sql().execute(
            QStringLiteral("INSERT INTO MOVEXTRATO (CDREDUCONT, CDSEQUEXBA, NRSEQMOVREBA, DTMOVEXTR, "
                           "IDMOVEXTR, VRMOVEXTR) VALUES (:conta, :linha, :linha, :data, 'C', 1)"),
            line);
        sql().execute(
            QStringLiteral("UPDATE MOVBANCARIO SET IDSTCONEXT = '1', CDSEQUEXBA = :linha, NRSEQMOVREBA "
                           "= :linha WHERE CDREDUCONT = :conta AND NRMOVBANC = :linha"),
            {line[0], line[1]});
    }

    // Whether an answered call went through: a change or a deletion answers no refusing row.
    static bool wentThrough(const CallOutcome &outcome) {
        return outcome.ok() && (outcome.result.type() != VariantType::Array ||
                                outcome.result.array().at(0).packet().rowCount() == 0);
    }

    int included = 0;
};

// What another client does to the entry between the list and the call.
struct Meddling {
    const char *name;
    std::function<void(EntryVersionTest &, const IncludedEntry &)> act;
    bool deletes;
    QString description; // the entry's description afterwards; empty: unchanged
};

TEST_P(EntryVersionTest, AVersionedCallOnAnEntryWrittenSinceItWasListedIsRefusedAndWritesNothing) {
    const QString other = server->restrictedToken();
    const Meddling describedAnew{
        "another operator gave it a new description",
        [other](EntryVersionTest &t, const IncludedEntry &e) {
            ASSERT_TRUE(t.change(e, Variant(), QStringLiteral("Mudado por outro"), other).ok());
        },
        false, QStringLiteral("Mudado por outro")};
    const Meddling chequed{"another operator recorded its cheque",
                           [other](EntryVersionTest &t, const IncludedEntry &e) {
                               ASSERT_TRUE(
                                   t.cheque(e, Variant(), EntryVersionTest::ChequeBy::Other, other).ok());
                           },
                           false,
                           {}};
    const Meddling deleted{"another operator deleted it",
                           [other](EntryVersionTest &t, const IncludedEntry &e) {
                               ASSERT_TRUE(wentThrough(t.deletion(e, Variant(), other)));
                           },
                           true,
                           {}};
    const Meddling reconciled{"the bank reconciliation reconciled it",
                              [](EntryVersionTest &t, const IncludedEntry &e) { t.reconcile(e); },
                              false,
                              {}};
    using Call = std::function<CallOutcome(EntryVersionTest &, const IncludedEntry &, const Variant &)>;
    const Call changed = [](EntryVersionTest &t, const IncludedEntry &e, const Variant &version) {
        return t.change(e, version, QStringLiteral("Descrição deste operador"));
    };
    const Call deletedToo = [](EntryVersionTest &t, const IncludedEntry &e, const Variant &version) {
        return t.deletion(e, version);
    };
    const Call chequedToo = [](EntryVersionTest &t, const IncludedEntry &e, const Variant &version) {
        return t.cheque(e, version, EntryVersionTest::ChequeBy::Operator);
    };
    const struct Case {
        const char *call;
        char kind;
        Call write;
        const Meddling &meddling;
        QString
            withoutVersion; // what the call without a version is refused with today; empty: it goes through
        QString withVersion{}; // what the call with its version is told, if not that the entry was written
    } cases[] = {
        {"a credit's change", 'C', changed, describedAnew, ""},
        {"a debit's change", 'D', changed, chequed, ""},
        {"a credit's change", 'C', changed, deleted, "Lançamento não encontrado"},
        {"a debit's change", 'D', changed, reconciled, ""},
        {"a debit's deletion", 'D', deletedToo, describedAnew, ""},
        {"a debit's deletion", 'D', deletedToo, chequed, ""},
        {"a credit's deletion", 'C', deletedToo, deleted, "Lançamento não encontrado"},
        {"a credit's deletion", 'C', deletedToo, reconciled, ""},
        {"a cheque", 'D', chequedToo, describedAnew, ""},
        {"a cheque", 'D', chequedToo, chequed, "já tem o cheque 02", "já tem o cheque 02"},
        {"a cheque", 'D', chequedToo, deleted, "não encontrado"},
        {"a cheque", 'D', chequedToo, reconciled, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 after %2").arg(c.call, c.meddling.name).toStdString());
        const IncludedEntry entry = include(c.kind);
        ASSERT_FALSE(entry.version.isEmpty());
        c.meddling.act(*this, entry);
        const QStringList before = everything();

        const CallOutcome refused = c.write(*this, entry, entry.version);
        EXPECT_EQ(refused.status, CallOutcome::Status::Refused);
        const bool cheque = c.call == std::string_view("a cheque");
        const QString named = cheque ? QStringLiteral("débito ") + entry.request.number
                                     : QStringLiteral("movimento ") + entry.request.movement;
        const QString description =
            c.meddling.description.isEmpty() ? entry.request.description : c.meddling.description;
        if (!c.withVersion.isEmpty()) {
            EXPECT_TRUE(refused.error.contains(c.withVersion)) << refused.error.toStdString();
        } else {
            EXPECT_EQ(refused.error,
                      c.meddling.deletes
                          ? QStringLiteral(
                                "O lançamento de 15/03/2024, valor 1.234,56 (%1), foi excluído por outro "
                                "operador depois que a lista foi carregada: nada foi gravado.")
                                .arg(named)
                          : QStringLiteral(
                                "O lançamento de 15/03/2024, valor 1.234,56, \"%1\", foi gravado por outro "
                                "operador depois que a lista foi carregada (alterado, conciliado, com a "
                                "conciliação desfeita ou com um cheque emitido): nada foi gravado. Confira-o "
                                "na lista atualizada.")
                                .arg(description));
        }
        EXPECT_EQ(differences(before, everything()), QStringList());

        const CallOutcome today = c.write(*this, entry, Variant());
        if (c.withoutVersion.isEmpty()) {
            EXPECT_TRUE(wentThrough(today)) << today.error.toStdString();
        } else {
            EXPECT_EQ(today.status, CallOutcome::Status::Refused);
            EXPECT_TRUE(today.error.contains(c.withoutVersion)) << today.error.toStdString();
        }
    }
}

// Two cheques of one debit sent without a version, both waiting on a third connection that holds the debit's
// movement: the one that has the movement second must read the debit with the first one's cheque, not as it
// was when it began to wait, and be refused. (On SQLite writers take turns, and nothing can cross.)
TEST_P(EntryVersionTest, OfTwoChequesOfOneDebitWaitingOnItTheSecondIsRefused) {
    if (GetParam() == Backend::Sqlite)
        GTEST_SKIP() << "SQLite's writers take turns";
    const IncludedEntry entry = include('D');
    const QString other = server->restrictedToken();
    Sql &holder = sql();
    holder.begin(true);
    holder.scalar(QStringLiteral("SELECT NRVERSAO FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = "
                                 ":movimento FOR UPDATE"),
                  {{QStringLiteral("movimento"), entry.request.movement}});
    CallOutcome theirs, ours;
    {
        std::jthread first([&] { theirs = cheque(entry, Variant(), ChequeBy::Other, other); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::jthread second([&] { ours = cheque(entry, Variant(), ChequeBy::Operator); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.commit();
    }
    ASSERT_NE(theirs.ok(), ours.ok()) << theirs.error.toStdString() << " / " << ours.error.toStdString();
    const CallOutcome &written = theirs.ok() ? theirs : ours;
    const CallOutcome &refused = theirs.ok() ? ours : theirs;
    EXPECT_TRUE(refused.error.contains(QStringLiteral("já tem o cheque %1").arg(written.result.toText())))
        << refused.error.toStdString();
    EXPECT_EQ(text(QStringLiteral("SELECT COUNT(*) FROM CHEQUE WHERE CDREDUCONT = '001' AND NRMOVIDEBI = "
                                  "(SELECT NRMOVIDEBI FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND "
                                  "NRMOVBANC = :movimento)"),
                   entry),
              QStringLiteral("1"));
    EXPECT_EQ(text(QStringLiteral("SELECT NRCHEQUE FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = "
                                  ":movimento"),
                   entry),
              written.result.toText());
}

// A client that sends an insertion again (its answer lost, say) after another operator deleted the entry
// must not bring the entry back under its numbers: the entry would start again at the version the first
// one was listed with, and a change, deletion or cheque of the deleted entry would then go through on it.
TEST_P(EntryVersionTest, AnEntrysNumbersAreNeverWrittenAgainOnceItIsDeleted) {
    const QString other = server->restrictedToken();
    const struct Case {
        const char *name;
        char kind;
        bool newMovement; // the insertion sent again under a movement drawn anew, the record's number kept
    } cases[] = {
        {"a credit sent again", 'C', false},
        {"a debit sent again", 'D', false},
        {"a debit's number under a new movement", 'D', true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const IncludedEntry entry = include(c.kind);
        ASSERT_TRUE(wentThrough(deletion(entry, entry.version, other)));
        Insertion again = entry.sent;
        QString number = entry.request.movement;
        if (c.newMovement) {
            EntryRequest request = entry.request;
            request.movement.clear();
            again = insertion(*server, request);
            number = request.number;
        }
        const QStringList before = everything();
        const CallOutcome resent = server->call(again.method, again.args);
        EXPECT_EQ(resent.status, CallOutcome::Status::Refused);
        EXPECT_TRUE(resent.error.contains(QStringLiteral("O número %1 de ").arg(number)) &&
                    resent.error.contains(u"já foi usado na conta corrente 001"))
            << resent.error.toStdString();
        EXPECT_EQ(differences(before, everything()), QStringList());

        const CallOutcome stale = change(entry, entry.version, QStringLiteral("Mudança atrasada"));
        EXPECT_EQ(stale.status, CallOutcome::Status::Refused);
        EXPECT_TRUE(stale.error.contains(u"foi excluído por outro operador")) << stale.error.toStdString();
    }
}

TEST_P(EntryVersionTest, AVersionedCallOnAnEntryAsItWasListedGoesThroughWithTheVersionAsTextOrNumber) {
    const struct Case {
        const char *name;
        char kind;
        std::function<CallOutcome(EntryVersionTest &, const IncludedEntry &, const Variant &)> write;
        bool asNumber;
    } cases[] = {
        {"a credit's change, the version as text", 'C',
         [](EntryVersionTest &t, const IncludedEntry &e, const Variant &v) { return t.change(e, v, "Nova"); },
         false},
        {"a debit's change, the version as a number", 'D',
         [](EntryVersionTest &t, const IncludedEntry &e, const Variant &v) { return t.change(e, v, "Nova"); },
         true},
        {"a deletion", 'D',
         [](EntryVersionTest &t, const IncludedEntry &e, const Variant &v) { return t.deletion(e, v); },
         false},
        {"a cheque, the version as a number", 'D',
         [](EntryVersionTest &t, const IncludedEntry &e, const Variant &v) {
             return t.cheque(e, v, EntryVersionTest::ChequeBy::Operator);
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const IncludedEntry entry = include(c.kind);
        const Variant version = c.asNumber ? Variant(entry.version.toLongLong()) : Variant(entry.version);
        const CallOutcome outcome = c.write(*this, entry, version);
        EXPECT_TRUE(wentThrough(outcome)) << outcome.error.toStdString();
    }
}

// The version of an entry rises with every write of it, whoever writes; a write of something else leaves it.
TEST_P(EntryVersionTest, AnEntrysVersionRisesWithEveryWriteOfItAndOnlyOfIt) {
    const IncludedEntry versioned = include('D');
    const IncludedEntry neighbour = include('D');
    const auto run = [this](const QString &statement) {
        return [this, statement](const IncludedEntry &e) {
            SqlParams params;
            for (const auto &[name, value] : SqlParams{{QStringLiteral("conta"), e.request.account},
                                                       {QStringLiteral("movimento"), e.request.movement},
                                                       {QStringLiteral("debito"), e.request.number}}) {
                if (statement.contains(u':' + name))
                    params.push_back({name, value});
            }
            sql().execute(statement, params);
        };
    };
    const struct Case {
        const char *name;
        std::function<void(const IncludedEntry &)> write;
        bool raises;
    } cases[] = {
        {"its movement's document changed",
         run("UPDATE MOVBANCARIO SET NRDOCMBANC = 'OUTRO' WHERE CDREDUCONT = :conta AND NRMOVBANC = "
             ":movimento"),
         true},
        {"its debit rewritten as it was",
         run("UPDATE MOVDEBIBANC SET CDCLASSFINA = CDCLASSFINA WHERE CDREDUCONT = :conta AND NRMOVIDEBI = "
             ":debito"),
         true},
        {"a cheque inserted for it",
         run("INSERT INTO CHEQUE (CDREDUCONT, NRCHEQUE, DTEMISSAO, VRCHEQUE, IDSITUCHEQ, NRMOVIDEBI) VALUES "
             "(:conta, '900001', '2024-03-15', 123456, 'E', :debito)"),
         true},
        {"its cheque cancelled",
         run("UPDATE CHEQUE SET IDSITUCHEQ = 'C' WHERE CDREDUCONT = :conta AND NRMOVIDEBI = :debito"), true},
        {"its cheque deleted", run("DELETE FROM CHEQUE WHERE CDREDUCONT = :conta AND NRMOVIDEBI = :debito"),
         true},
        {"reconciled", [this](const IncludedEntry &e) { reconcile(e); }, true},
        {"its reconciliation released",
         run("UPDATE MOVBANCARIO SET IDSTCONEXT = '0', CDSEQUEXBA = NULL, NRSEQMOVREBA = NULL WHERE "
             "CDREDUCONT "
             "= :conta AND NRMOVBANC = :movimento"),
         true},
        {"another debit's record and cheque written",
         [&](const IncludedEntry &) {
             run("UPDATE MOVDEBIBANC SET DSMOVIDEBI = 'Vizinho' WHERE CDREDUCONT = :conta AND NRMOVIDEBI = "
                 ":debito")(neighbour);
             run("INSERT INTO CHEQUE (CDREDUCONT, NRCHEQUE, DTEMISSAO, VRCHEQUE, IDSITUCHEQ, NRMOVIDEBI) "
                 "VALUES "
                 "(:conta, '900002', '2024-03-15', 123456, 'E', :debito)")(neighbour);
         },
         false},
        {"its debit deleted, the movement left",
         run("DELETE FROM MOVDEBIBANC WHERE CDREDUCONT = :conta AND NRMOVIDEBI = :debito"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString query = QStringLiteral(
            "SELECT NRVERSAO FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento");
        const qint64 before = text(query, versioned).toLongLong();
        c.write(versioned);
        const qint64 after = text(query, versioned).toLongLong();
        if (c.raises)
            EXPECT_GT(after, before);
        else
            EXPECT_EQ(after, before);
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, EntryVersionTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
