#include <functional>

#include <gtest/gtest.h>

#include "entry_model/entry_list_loader.h"

using namespace bco;
using Cli_bco11102::EntryListLoader;

namespace {

// A server whose account version and list the test sets, counting the lists it sends.
struct FakeServer {
    qint64 version = 7;
    int lists = 0;

    Variant call(const QString &method, VariantList &args) {
        if (method == u"GetVersaoLancamentos")
            return QString::number(version);
        ++lists;
        args[5] = QStringLiteral("answered"); // the server writes back into the criteria
        DataPacket packet(FieldDefs{{.name = QStringLiteral("NRMOVBANC")}});
        for (int row = 0; row < 3; ++row)
            packet.appendValues({QString::number(lists * 10 + row)});
        return packet;
    }
};

VariantList criteria(const char *account = "050") {
    return {account, QDate(2024, 2, 14), QDate(2024, 3, 20), -0.001, 0.001, "T", "T", "", "T"};
}

// Inside a deletion, a load keeps the list only while nothing of it changed; outside, every load loads.
TEST(EntryListLoader, KeepsAListOnlyWhileNothingOfItChanged) {
    const struct Case {
        const char *name;
        bool reusing;
        std::function<void(FakeServer &, ClientDataSet &, VariantList &)> meanwhile;
        bool loads;
    } cases[] = {
        {"nothing changed", true, [](FakeServer &, ClientDataSet &, VariantList &) {}, false},
        {"nothing changed, outside a deletion", false, [](FakeServer &, ClientDataSet &, VariantList &) {},
         true},
        {"someone wrote to the account", true,
         [](FakeServer &server, ClientDataSet &, VariantList &) { ++server.version; }, true},
        {"other criteria", true,
         [](FakeServer &, ClientDataSet &, VariantList &sent) { sent[2] = QDate(2024, 3, 21); }, true},
        {"another account", true, [](FakeServer &, ClientDataSet &, VariantList &sent) { sent[0] = "051"; },
         true},
        {"the rows were edited here", true,
         [](FakeServer &, ClientDataSet &list, VariantList &) { list.Delete(); }, true},
        {"the list was closed", true, [](FakeServer &, ClientDataSet &list, VariantList &) { list.Close(); },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        EntryListLoader loader(
            [&server](const QString &method, VariantList &args) { return server.call(method, args); });
        ClientDataSet list;
        VariantList sent = criteria();
        EXPECT_TRUE(loader.load(list, sent));
        EXPECT_EQ(sent[5].toText(), u"answered");
        sent = criteria();
        c.meanwhile(server, list, sent);
        std::optional<EntryListLoader::ReuseCurrent> reuse;
        if (c.reusing)
            reuse.emplace(loader);
        EXPECT_EQ(loader.load(list, sent), c.loads);
        EXPECT_EQ(server.lists, c.loads ? 2 : 1);
        EXPECT_EQ(sent[5].toText(), u"answered") << "the criteria come back as the server answered them";
        EXPECT_EQ(list.RecordCount(), 3);
    }
}

// The form's own write is adopted only when the list was current at the version the write started from.
TEST(EntryListLoader, AdoptsTheFormsOwnWriteOnlyWhenNothingElseWasWritten) {
    const struct Case {
        const char *name;
        qint64 before, after;
        bool editedBefore;
        bool reloads;
    } cases[] = {
        {"only the form's call wrote", 7, 9, false, false},
        {"another write came before the call", 8, 9, false, true},
        {"a server that answers no versions", -1, -1, false, true},
        {"the list was edited before", 7, 9, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        EntryListLoader loader(
            [&server](const QString &method, VariantList &args) { return server.call(method, args); });
        ClientDataSet list;
        VariantList sent = criteria();
        loader.load(list, sent);
        if (c.editedBefore) {
            list.Last();
            list.Delete();
        }
        list.First();
        bool edited = false;
        loader.applyOwnWrite(list, c.before, c.after, [&] {
            edited = true;
            list.Delete();
        });
        EXPECT_TRUE(edited) << "the form's edit is made whether or not it is adopted";
        server.version = c.after < 0 ? 9 : c.after;
        sent = criteria();
        EntryListLoader::ReuseCurrent reuse(loader);
        EXPECT_EQ(loader.load(list, sent), c.reloads);
        EXPECT_EQ(list.RecordCount(), c.reloads ? 3 : 2);
    }
}

} // namespace
