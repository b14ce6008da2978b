#include "reconciliation/reconciliation_messages.h"

namespace Cli_bco11105 {

void AddReconciliationMessages(bco::TMessages &catalogue) {
    static const char *const rows[] = {
        "ContCorr_NCAD|Conta Corrente não cadastrada.",
        "Conta_NI|Conta Corrente deve ser informada.",
        "Conta_Desc|Banco %1, agência %2, conta %3",
        "Extrato_Item|Extrato %1: %2 a %3 (%4 de %5 linhas conciliadas)",
        "Extrato_Outra_Conta|O extrato não é da conta corrente %1.",
        "Linha_Conc|Conciliada",
        "Linha_Aberta|Em aberto",
        "Quadro_Situacao|%1 linha(s), %2 com proposta, %3 lançamento(s) aceito(s) para conciliar.",
        "Linha_NI|Selecione uma linha do extrato.",
        "Linha_N_Conc|Selecione uma linha conciliada do extrato.",
        "Nada_Aceitar|Não há propostas decididas a aceitar.",
        // The write may be the operator's own, at another screen (a cheque recorded on the entry).
        ("Aceitos_Descartados|%1 linha(s) aceita(s) voltaram a ficar sem par: a linha ou o lançamento foi "
         "gravado depois que você os aceitou (nesta ou em outra tela, por você ou por outro operador). "
         "Confira-os e aceite de novo."),
        ("Aceitar_Todas|A linha escolhida não tem proposta a aceitar. Aceita as propostas decididas das "
         "%1 linha(s) do extrato que as têm?"),
        "Nada_Conciliar|Não há pares aceitos a conciliar.",
        ("Linha_Com_Par|A linha já tem lançamento proposto, aceito ou conciliado: rejeite a proposta antes "
         "de incluir."),
        "Linha_Sumiu|A linha escolhida não está mais no extrato: nada foi feito.",
        ("Linha_Ganhou_Par|A linha do extrato passou a ter lançamento proposto ou conciliado depois que a "
         "inclusão começou (outro operador o incluiu): o lançamento não foi gravado. Cancele a inclusão."),
        "Sem_Lancamentos|A tela de lançamentos não está disponível para incluir o lançamento.",
        "Saldo_Banco|Saldo do banco",
        "Saldo_Livros|Saldo dos livros",
        "Dias_Diferentes|Dias em que diferem",
        "Sem_Saldo|O extrato não informa saldo para comparar com os livros.",
        "Dif_Fechamento|Diferença no fechamento de %1: %2 (banco %3, livros %4)",
        "Conf_Conciliar|Confirma a conciliação de %1 linha(s) do extrato?",
        ("Aceitos_Pendentes|%1 linha(s) do extrato aceita(s) ainda não foram conciliadas. Deseja fechar a "
         "tela sem conciliá-las?"),
        ("Aceitos_Trocar|%1 linha(s) do extrato aceita(s) ainda não foram conciliadas. Deseja trocar de "
         "extrato sem conciliá-las?"),
        "Conf_Desfazer|Desfaz a conciliação da linha de %1 no valor de %2 com %3 lançamento(s)?",
    };
    for (const char *row : rows)
        catalogue.add(QString::fromUtf8(row));
}

} // namespace Cli_bco11105
