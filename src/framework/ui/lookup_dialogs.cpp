#include "framework/ui/lookup_dialogs.h"

#include <algorithm>

#include <stdexcept>

#include <QLocale>

#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"

namespace bco {

namespace {

class RefusingLookupDialogs final : public LookupDialogs {
public:
    bool pick(ClientDataSet &, const QString &title, bool) override { throw DialogsNotInstalled(title); }
    std::optional<QStringList> pickList(ClientDataSet &, const QString &, const QString &title,
                                        const QStringList &) override {
        throw DialogsNotInstalled(title);
    }
    std::optional<FindRequest> find(ClientDataSet &) override {
        throw DialogsNotInstalled(QStringLiteral("Procurar"));
    }
};

ServiceSlot<LookupDialogs, RefusingLookupDialogs> lookupsSlot;

struct TitleAndEmpty {
    QString title;
    QString emptyText;
};

TitleAndEmpty splitTitle(const QString &titleAndEmpty) {
    const qsizetype bar = titleAndEmpty.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {titleAndEmpty, QString()};
    return {titleAndEmpty.left(bar), titleAndEmpty.mid(bar + 1)};
}

ClientDataSet *listedDataSet(DataSource *source) {
    ClientDataSet *dataSet = source != nullptr ? source->DataSet() : nullptr;
    return dataSet != nullptr && dataSet->Active() && !dataSet->IsEmpty() ? dataSet : nullptr;
}

// Nothing to list: the operator is told why with the caller's text (or, when the caller gave none, a
// general one, since an empty window would say nothing).
void showNothingToList(const QString &emptyText) {
    const QString text =
        emptyText.trimmed().isEmpty() ? QStringLiteral("Não há registros para listar.") : emptyText;
    Dialogs::messages().show(MsgKind::Information, text, MsgButton::Ok, QString());
}

} // namespace

namespace Dialogs {

LookupDialogs &lookups() {
    return lookupsSlot.current();
}

LookupDialogs *installLookups(LookupDialogs *service) {
    return lookupsSlot.install(service);
}

} // namespace Dialogs

bool Pesquisar(DataSource *source, const QString &titleAndEmpty, bool pickSoleRow, bool showFind) {
    const TitleAndEmpty texts = splitTitle(titleAndEmpty);
    ClientDataSet *dataSet = listedDataSet(source);
    if (dataSet == nullptr) {
        showNothingToList(texts.emptyText);
        return false;
    }
    if (pickSoleRow && dataSet->RecordCount() == 1) {
        dataSet->First();
        return true;
    }
    return Dialogs::lookups().pick(*dataSet, texts.title, showFind);
}

bool PesquisaLista(DataSource *source, const QString &keyField, const QString &titleAndEmpty, bool markAll,
                   QString &result) {
    const TitleAndEmpty texts = splitTitle(titleAndEmpty);
    ClientDataSet *dataSet = listedDataSet(source);
    if (dataSet == nullptr) {
        showNothingToList(texts.emptyText);
        return false;
    }
    Field &key = dataSet->FieldByName(keyField);
    QStringList marked;
    if (markAll) {
        for (int row = 0; row < dataSet->RecordCount(); ++row) {
            const ClientDataSet::ActiveRowScope reading(*dataSet, row);
            marked << key.AsString();
        }
    } else {
        marked = CodeListCodes(result);
    }
    const std::optional<QStringList> chosen =
        Dialogs::lookups().pickList(*dataSet, keyField, texts.title, marked);
    if (!chosen)
        return false;
    result = CodeListText(*chosen);
    return true;
}

namespace {

// The text as the search compares it: without accents, letter case or the blanks around it.
QString searchable(const QString &text) {
    const QString decomposed = text.trimmed().normalized(QString::NormalizationForm_KD);
    QString plain;
    plain.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            plain += c;
    return plain.toCaseFolded();
}

bool isCodeColumn(const Field &field) {
    const QString name = field.FieldName();
    return field.Kind() == FieldKind::Float || field.Kind() == FieldKind::Integer ||
           name.startsWith(u"CD", Qt::CaseInsensitive) || name.startsWith(u"NR", Qt::CaseInsensitive);
}

} // namespace

bool SearchMatches(const Field &field, const QString &shown, const QString &wanted) {
    const QString text = searchable(shown);
    const QString typed = searchable(wanted);
    if (!isCodeColumn(field))
        return text.contains(typed);
    if (text.startsWith(typed))
        return true;
    // A number shown through its mask (a tax number, "86.033.773/0001-90") is typed as its digits.
    const auto isDigit = [](QChar c) {
        return c >= u'0' && c <= u'9';
    };
    if (typed.isEmpty() || !std::all_of(typed.begin(), typed.end(), isDigit))
        return false;
    QString digits;
    for (const QChar c : text)
        if (isDigit(c))
            digits += c;
    return digits.startsWith(typed);
}

bool Procura(ClientDataSet *dataSet) {
    if (dataSet == nullptr || !dataSet->Active() || dataSet->IsEmpty())
        return false;
    const std::optional<FindRequest> request = Dialogs::lookups().find(*dataSet);
    if (!request)
        return false;
    const Field &field = dataSet->FieldByName(request->fieldName);
    const QString wanted = request->value.trimmed();
    // Nothing typed finds nothing (blanks, or an accent alone, which the comparison sets aside): taken as
    // found, it would move the data set to a row no one looked for.
    if (searchable(wanted).trimmed().isEmpty()) {
        Dialogs::messages().show(MsgKind::Information, QStringLiteral("Informe o que procurar."),
                                 MsgButton::Ok, QString());
        return false;
    }
    const QLocale locale;
    for (int row = 0; row < dataSet->RecordCount(); ++row) {
        bool found = false;
        {
            const ClientDataSet::ActiveRowScope reading(*dataSet, row);
            found = SearchMatches(field, field.DisplayText(locale), wanted);
        }
        if (found) {
            dataSet->SetRecNo(row + 1);
            return true;
        }
    }
    Dialogs::messages().show(MsgKind::Information, QStringLiteral("Registro não encontrado."), MsgButton::Ok,
                             QString());
    return false;
}

QString CodeListText(const QStringList &codes) {
    QStringList quoted;
    quoted.reserve(codes.size());
    for (const QString &code : codes) {
        if (code.contains(QLatin1Char('\'')))
            throw std::invalid_argument("a code holding a quote cannot be listed: " + code.toStdString());
        quoted << QLatin1Char('\'') + code + QLatin1Char('\'');
    }
    return quoted.join(QLatin1Char(','));
}

QStringList CodeListCodes(const QString &text) {
    QStringList codes;
    qsizetype i = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1Char('\''), i);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1Char('\''), open + 1);
        if (close < 0)
            break;
        codes << text.mid(open + 1, close - open - 1);
        i = close + 1;
    }
    return codes;
}

} // namespace bco
