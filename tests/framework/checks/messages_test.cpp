#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "framework/checks/consiste.h"
#include "framework/checks/messages.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"

using namespace bco;

namespace {

TMessages catalogue() {
    return TMessages{
        "Tipo_inf|Tipo deve ser informado.",
        "Cli_Adian|Atenção! Cliente possui crédito de adiantamento. Deseja utilizá-lo? ",
        "Sep|a|b",
    };
}

TEST(MessagesTest, AnswersEachTextExactlyByKeyWhateverItsCase) {
    const TMessages msgPadrao = catalogue();
    EXPECT_EQ(msgPadrao.count(), 3);
    EXPECT_EQ(msgPadrao.Msg("Tipo_inf"), "Tipo deve ser informado.");
    EXPECT_EQ(msgPadrao.Msg("TIPO_INF"), "Tipo deve ser informado.");
    EXPECT_EQ(msgPadrao.Msg("Cli_Adian"),
              "Atenção! Cliente possui crédito de adiantamento. Deseja utilizá-lo? ");
    EXPECT_EQ(msgPadrao.Msg("Sep"), "a|b");
}

TEST(MessagesTest, AnUnknownKeyIsAnErrorNamingTheKey) {
    try {
        catalogue().Msg("Filial_n_inf");
        FAIL() << "an unknown key gave a text";
    } catch (const UnknownMessageKey &error) {
        EXPECT_NE(std::string(error.what()).find("Filial_n_inf"), std::string::npos);
    }
}

TEST(MessagesTest, RefusesMalformedAndRepeatedRows) {
    TMessages msgPadrao = catalogue();
    EXPECT_THROW(msgPadrao.add("no bar here"), std::invalid_argument);
    EXPECT_THROW(msgPadrao.add("|text without key"), std::invalid_argument);
    EXPECT_THROW(msgPadrao.add("tipo_INF|again"), std::invalid_argument);
    EXPECT_EQ(msgPadrao.Msg("Tipo_inf"), "Tipo deve ser informado.");
}

TEST(MessagesTest, ShowMsgPassesKeyAndKindAndAnswersTheChosenButton) {
    ScriptedDialogs dialogs;
    dialogs.answer("Cli_Adian", MsgButton::Yes);
    const TMessages msgPadrao = catalogue();

    EXPECT_EQ(msgPadrao.ShowMsg("Cli_Adian", MsgKind::Information, MsgButton::Yes | MsgButton::No, 0),
              MsgButton::Yes);
    EXPECT_EQ(msgPadrao.ShowMsg("Tipo_inf", MsgKind::Warning, MsgButton::Ok, 0), MsgButton::Ok);

    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].kind, MsgKind::Information);
    EXPECT_EQ(dialogs.keys(), QStringList({"Cli_Adian", "Tipo_inf"}));
    EXPECT_EQ(dialogs.texts()[1], "Tipo deve ser informado.");
}

TEST(DialogsTest, WithoutAnInstalledServiceADialogIsRefusedLoudly) {
    EXPECT_THROW(catalogue().ShowMsg("Tipo_inf", MsgKind::Error, MsgButton::Ok), DialogsNotInstalled);
}

TEST(DialogsTest, NestedScopesRestoreTheServiceTheyReplaced) {
    ScriptedDialogs outer;
    {
        ScriptedDialogs inner;
        Consiste::MensErro("inner", false);
        EXPECT_EQ(inner.texts(), QStringList({"inner"}));
    }
    Consiste::MensErro("outer", false);
    EXPECT_EQ(outer.texts(), QStringList({"outer"}));
}

TEST(ScriptedDialogsTest, AnUnexpectedQuestionFailsTheTestAndIsAnsweredNo) {
    ScriptedDialogs dialogs;
    MsgButton answer = MsgButton::None;
    EXPECT_NONFATAL_FAILURE(answer = Dialogs::messages().show(MsgKind::Confirmation, "Excluir?",
                                                              MsgButton::Yes | MsgButton::No, "Excl"),
                            "Excluir?");
    EXPECT_EQ(answer, MsgButton::No);
}

TEST(ScriptedDialogsTest, AnAnswerTheQuestionDoesNotOfferFailsTheTest) {
    ScriptedDialogs dialogs;
    dialogs.answer("Salvar?", MsgButton::Yes);
    MsgButton answer = MsgButton::None;
    EXPECT_NONFATAL_FAILURE(answer = Dialogs::messages().show(MsgKind::Confirmation, "Salvar?",
                                                              MsgButton::Ok | MsgButton::Cancel, ""),
                            "not offered");
    EXPECT_EQ(answer, MsgButton::Cancel);
}

TEST(ScriptedDialogsTest, AnAnswerNeverAskedForFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(ScriptedDialogs().answer("Excl", MsgButton::Yes), "never asked for: Excl");
}

TEST(MensErroTest, ShowsAnErrorAndAbortsOnlyWhenAsked) {
    ScriptedDialogs dialogs;
    EXPECT_THROW(Consiste::MensErro("Filial deve ser informada.", true), Consiste::EAbort);
    EXPECT_NO_THROW(Consiste::MensErro("É necessário confirmar ou cancelar a transação.", false));
    EXPECT_EQ(dialogs.errors(),
              QStringList({"Filial deve ser informada.", "É necessário confirmar ou cancelar a transação."}));
}

TEST(CheckResultServTest, ASuccessGivesItsPayloadWithoutAWord) {
    ScriptedDialogs dialogs;
    const Variant payload = Consiste::CheckResultServ(RemoteResult::success(Variant(1234.56)), true, 0);
    EXPECT_EQ(payload, Variant(1234.56));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST(CheckResultServTest, AFailureIsShownAndAbortsOrAnswersNull) {
    ScriptedDialogs dialogs;
    const RemoteResult refused = RemoteResult::failure("Conta corrente não pertence ao operador.");
    EXPECT_THROW(Consiste::CheckResultServ(refused, true, 0), Consiste::EAbort);
    EXPECT_TRUE(Consiste::CheckResultServ(refused, false, 0).isNull());
    EXPECT_THROW(Consiste::CheckResultServ(RemoteResult::failure(""), true, 0), Consiste::EAbort);
    ASSERT_EQ(dialogs.errors().size(), 3);
    EXPECT_EQ(dialogs.errors()[0], "Conta corrente não pertence ao operador.");
    EXPECT_EQ(dialogs.errors()[1], "Conta corrente não pertence ao operador.");
    EXPECT_FALSE(dialogs.errors()[2].isEmpty());
}

} // namespace
