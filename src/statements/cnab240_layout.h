#pragma once

// The fields of the FEBRABAN CNAB 240 "extrato para conciliação bancária" (layout v10, service 04) that
// the reader reads, by record: positions count from 1 as the layout numbers them. The reader follows this
// table and nothing else; the tests spell the positions again from the layout, so that a slip here fails
// them.
namespace bco::statements::cnab240 {

inline constexpr int LineWidth = 240;

enum class FieldKind {
    Digits, // zeros on the left
    Text,   // blanks on the right
    Date,   // DDMMAAAA
    Amount, // digits, the last two the cents
    Sign,   // 'D' debit (a balance: overdrawn) or 'C' credit
};

struct Field {
    const char *name; // as the operator reads it in a message
    int start;
    int length;
    FieldKind kind;
};

// Every record.
inline constexpr Field BankCode{"código do banco", 1, 3, FieldKind::Digits};
inline constexpr Field RecordType{"tipo de registro", 8, 1, FieldKind::Text};

// Record 1, batch header.
inline constexpr Field Service{"tipo de serviço", 10, 2, FieldKind::Text};
inline constexpr Field Agency{"agência", 53, 5, FieldKind::Digits};
inline constexpr Field AgencyCheck{"dígito da agência", 58, 1, FieldKind::Text};
inline constexpr Field Account{"conta corrente", 59, 12, FieldKind::Digits};
inline constexpr Field AccountCheck{"dígito da conta", 71, 1, FieldKind::Text};
inline constexpr Field OpeningDate{"data do saldo inicial", 143, 8, FieldKind::Date};
inline constexpr Field OpeningAmount{"valor do saldo inicial", 151, 18, FieldKind::Amount};
inline constexpr Field OpeningSign{"situação do saldo inicial", 169, 1, FieldKind::Sign};
inline constexpr Field Currency{"moeda", 171, 3, FieldKind::Text};

// Record 3, detail of segment E: one movement.
inline constexpr Field Segment{"segmento", 14, 1, FieldKind::Text};
inline constexpr Field PostingDate{"data do lançamento", 143, 8, FieldKind::Date};
inline constexpr Field LineAmount{"valor do lançamento", 151, 18, FieldKind::Amount};
inline constexpr Field LineKind{"tipo do lançamento", 169, 1, FieldKind::Sign};
inline constexpr Field HistoryCode{"código do histórico", 173, 4, FieldKind::Text};
inline constexpr Field HistoryText{"histórico", 177, 25, FieldKind::Text};
inline constexpr Field Document{"número do documento", 202, 39, FieldKind::Text};

// Record 5, batch trailer.
inline constexpr Field ClosingDate{"data do saldo final", 143, 8, FieldKind::Date};
inline constexpr Field ClosingAmount{"valor do saldo final", 151, 18, FieldKind::Amount};
inline constexpr Field ClosingSign{"situação do saldo final", 169, 1, FieldKind::Sign};
inline constexpr Field BatchRecords{"quantidade de registros do lote", 171, 6, FieldKind::Digits};
inline constexpr Field DebitTotal{"somatória dos débitos", 177, 18, FieldKind::Amount};
inline constexpr Field CreditTotal{"somatória dos créditos", 195, 18, FieldKind::Amount};

// Record 9, file trailer.
inline constexpr Field FileBatches{"quantidade de lotes do arquivo", 18, 6, FieldKind::Digits};
inline constexpr Field FileRecords{"quantidade de registros do arquivo", 24, 6, FieldKind::Digits};

} // namespace bco::statements::cnab240
