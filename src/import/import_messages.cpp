#include "import/import_messages.h"

namespace Cli_bco11104 {

void AddImportMessages(bco::TMessages &catalogue) {
    static const char *const rows[] = {
        "Arq_NI|Arquivo origem deve ser informado.",
        "Dir_N_Existe|Diretório não existe.",
        "Arq_N_Existe|Arquivo não existe.",
        // A folder or a pipe of that name is there, but no workbook can be read from it.
        "Arq_N_Arquivo|O caminho informado não é um arquivo: escolha a pasta de trabalho dos lançamentos.",
        "ContCorr_NCAD|Conta Corrente não cadastrada.",
        "Filial_Inv|Fillial não cadastrada ou não relacionada a empresa da conta corrente.",
        "Forma_Inv|Forma de Lançamento Inválida. Informar \"C\" para Crédito ou \"D\" para Débito.",
        "TpCred_Inv|Tipo de Crédito não cadastrado.",
        "TpDeb_Inv|Tipo de Débito não cadastrado.",
        "Valor_Inf|Valor deve ser maior que zero.",
        "Doc_Inv|Tamanho máximo do documento permitido igual a dez caracteres.",
        "Clie_Forn_Inv|Cliente e Fornecedor não podem estar ambos preenchidos para o mesmo lançamento.",
        // The entry form's words for an accounted type kept by customer or by supplier, without one.
        "CLIE_N_INF|Cliente deve ser informado para contabilização correta do documento.",
        "FORN_N_INF|Fornecedor deve ser informado para contabilização correta do documento.",
        "Fornecedor_n_cad|Fornecedor não cadastrado.",
        "Cliente_NCAD|Cliente não cadastrado.",
        "Desc_Inv|Tamanho máximo da descrição permitido igual a quarenta caracteres.",
        "Lanc_Ja_Cad|Lançamento já cadastrado.",
        "ARQ_OK|Não foram encontrados erros. Arquivo pode ser importado.",
        "Importacao_OK|Importação realizada com sucesso.",
        "Importacao_Nada|Nada foi importado: todos os lançamentos do arquivo já estavam incluídos.",
        "Arq_Sem_Lanc|O arquivo não tem lançamentos: nenhuma linha abaixo da linha de títulos tem a Data "
        "preenchida.",
        // A cell the pass cannot read as it needs is a problem of its row, like any other.
        "Valor_Inv|Valor não é um número.",
        "Valor_Grande|Valor maior que o maior valor de um lançamento (9.999.999.999.999,99).",
        "Data_Inv|Data inválida.",
        // The server's reason, as the import's write would give it.
        "Dia_Fechado|%1",
        "Celula_Erro|A coluna %1 tem o erro %2 de uma fórmula.",
        // The error's text holds 100 characters.
        "Erros_NaoListados|Mais %1 erro(s) desta linha em diante: corrija os listados e verifique o arquivo "
        "de novo.",
        // A text that one workbook means as thousands and another as decimals is not guessed at.
        "Valor_Amb|Valor ambíguo: \"%1\" (use %2 ou %3).",
        // Nor is a fraction of a cent rounded away.
        "Valor_Centavo|Valor com fração de centavo: \"%1\" (um lançamento tem no máximo duas casas "
        "decimais).",
        // The entry form's words for an account of a company the operator may not use.
        "ContCorr_Nr|Operador não relacionado a empresa da conta corrente informada.",
        // What an import will write, and what it wrote, told beside the list.
        "Arq_Mudou|O arquivo foi alterado depois de verificado: nada foi importado. Verifique-o de novo "
        "(saia "
        "do campo do arquivo) antes de importá-lo.",
        "Resumo_Imp|A importar: %1 crédito(s) somando %2 e %3 débito(s) somando %4.",
        "Resumo_Feito|Importados: %1 crédito(s) e %2 débito(s).",
        "Resumo_SoCreditos|Importados: %1 crédito(s). Os débitos não foram importados: corrija o que a tela "
        "de "
        "contabilização aponta e importe só os débitos (os créditos já estão gravados).",
        "Resumo_DebitosFalharam|Importados: %1 crédito(s). A importação dos débitos falhou: %2 Corrija o que "
        "impediu os débitos e importe de novo: só os débitos são enviados (os créditos já estão gravados).",
        "Resumo_Incerto|Não se sabe se os %1 foram gravados: a chamada ao servidor falhou depois de enviada. "
        "Confira a lista de lançamentos ou importe de novo: o que já está gravado não é gravado outra vez.",
        "Resumo_DebitosIncertos|Importados: %1 crédito(s). Não se sabe se os débitos foram gravados: a "
        "chamada "
        "ao servidor falhou depois de enviada. Confira a lista de lançamentos ou importe de novo: só os "
        "débitos "
        "são enviados, e o que já está gravado não é gravado outra vez.",
        "Resumo_Nada|Nada foi importado. Corrija o que a mensagem apontou e verifique o arquivo de novo "
        "(saia "
        "do campo do arquivo) antes de importá-lo.",
        "Resumo_NadaContabil|Nada foi importado: corrija o que a tela de contabilização aponta e importe de "
        "novo.",
        "Resumo_Ignorados|Já estavam incluídos e não foram gravados de novo: %1 crédito(s) e %2 débito(s).",
        ("Debitos_Pendentes|Os créditos deste arquivo foram gravados e os débitos ainda não: fechada a tela, "
         "eles só poderão ser importados sozinhos (bco-import --kind D). Fechar assim mesmo?"),
    };
    for (const char *row : rows)
        catalogue.add(QString::fromUtf8(row));
}

} // namespace Cli_bco11104
