#include <gtest/gtest.h>

#include "server/methods/code_list.h"
#include "server/transport/method_registry.h"

namespace bco::server {
namespace {

struct ListCase {
    const char *name;
    const char *text;
    QStringList codes;
};

const ListCase listCases[] = {
    {"an empty text is an empty list", "", {}},
    {"a blank text is an empty list", "   ", {}},
    {"one code", "'C0001'", {"C0001"}},
    {"codes in the order written", "'C0001','D0002','C0010'", {"C0001", "D0002", "C0010"}},
    {"blanks around the separators are allowed", " 'C0001' , 'D0002' ", {"C0001", "D0002"}},
    {"an empty code is kept as such", "''", {""}},
};

TEST(CodeLists, ReadTheQuotedCodes) {
    for (const ListCase &c : listCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseCodeList(QString::fromUtf8(c.text), QStringLiteral("tipos")), c.codes);
    }
}

TEST(CodeLists, RefuseAnyOtherText) {
    for (const char *text :
         {"C0001", "'C0001", "'C0001' 'D0002'", "'C0001',", "'C0001',,'D0002'", "T", "'a'b'"}) {
        SCOPED_TRACE(text);
        try {
            parseCodeList(QString::fromUtf8(text), QStringLiteral("tipos"));
            ADD_FAILURE() << "accepted";
        } catch (const Refusal &refusal) {
            EXPECT_TRUE(refusal.message().startsWith(u"Lista de tipos inválida"))
                << refusal.message().toStdString();
        }
    }
}

} // namespace
} // namespace bco::server
