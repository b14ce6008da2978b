#!/usr/bin/env python3
"""Bank statements of a demo account, as its bank would send them, made from the demo database's own movements.

Two statements of account 001, both ending before or on the demo's day (the day of the database's latest
movement): a CNAB 240 "extrato para conciliação bancária" of the second week before it (extrato-demo.ret,
CRLF line ends as banks send them) and an OFX 1.x of the last seven days (extrato-demo.ofx: a header that
says CP1252 over a UTF-8 body, dates with their time zone, amounts with a decimal comma). In each:
- most movements of the books, on the same day and with the same value: they match at once;
- two movements that the bank posted two days after the books;
- three credits of one day that the bank shows as one deposit of their sum;
- a bank fee that the books do not hold, so that the statement's closing balance differs from the books'
  by the fees until an operator includes them.
The books' movements are those of the database as it is (the open ones of the period); reconciled movements
are left out of a period only when the demo data has none there, which the periods are chosen for.

Usage: write_demo_statements.py DATABASE FOLDER
"""

import datetime
import os
import sqlite3
import sys

ACCOUNT = '001'
# What the bank charged in each period, in cents; values that no movement of the books has.
FEES = {'cnab': 3990, 'ofx': 1250}


def day_of(value):
    return datetime.date.fromisoformat(str(value)[:10])


class Books:
    def __init__(self, path):
        self.db = sqlite3.connect(path)
        row = self.db.execute('SELECT CDBANCO, CDAGENCIA, CDCONTCORR, VRSALDINIC FROM CONTCORR '
                              'WHERE CDREDUCONT = ?', (ACCOUNT,)).fetchone()
        if row is None:
            sys.exit(f'write_demo_statements: the database has no account {ACCOUNT}')
        self.bank, self.agency, self.number, self.opening = row
        self.today = day_of(self.db.execute('SELECT MAX(DTMOVBANC) FROM MOVBANCARIO').fetchone()[0])

    def movements(self, first, last):
        """The account's movements from `first` to `last`: (number, day, kind, cents, document, reconciled)."""
        rows = self.db.execute(
            'SELECT M.NRMOVBANC, M.DTMOVBANC, M.IDMOVBANC, M.VRMOVBANC, '
            '  COALESCE(NULLIF(M.NRDOCMBANC, \'\'), (SELECT MIN(H.NRCHEQUE) FROM MOVDEBIBANC H '
            '    WHERE H.CDREDUCONT = M.CDREDUCONT AND H.NRMOVBANC = M.NRMOVBANC)), '
            '  COALESCE(M.IDSTCONEXT, \'0\') '
            'FROM MOVBANCARIO M WHERE M.CDREDUCONT = ? AND M.DTMOVBANC >= ? AND M.DTMOVBANC <= ? '
            'ORDER BY M.DTMOVBANC, M.NRMOVBANC', (ACCOUNT, first.isoformat(), last.isoformat()))
        return [(n, day_of(d), k, int(c), doc or '', r == '1') for n, d, k, c, doc, r in rows]

    def balance_at_end_of(self, day):
        moved = self.db.execute(
            'SELECT COALESCE(SUM(CASE IDMOVBANC WHEN \'C\' THEN VRMOVBANC ELSE -VRMOVBANC END), 0) '
            'FROM MOVBANCARIO WHERE CDREDUCONT = ? AND DTMOVBANC <= ?', (ACCOUNT, day.isoformat())).fetchone()[0]
        return int(self.opening) + int(moved)


def bank_lines(movements, first, last, fee):
    """The statement's lines (day, kind, cents, document, text), in the bank's order, from the books'
    movements of the period, and the fee charged (`fee`, or a cent more for each debit of the books that
    has its value, so that nothing in the books stands for it)."""
    lines = []
    values = {(m[2], m[3]) for m in movements}
    # Three credits of the books within two days, the bank's one deposit dated the last one's day.
    credits = [m for m in movements if m[2] == 'C']
    deposit = []
    for i in range(len(credits) - 2):
        three = credits[i:i + 3]
        if (three[2][1] - three[0][1]).days <= 2 and ('C', sum(m[3] for m in three)) not in values:
            deposit = three
            break
    shifted = [m for m in movements if m not in deposit and m[1] <= last - datetime.timedelta(days=2)][1:3]
    for m in movements:
        if m in deposit:
            continue
        day = m[1] + datetime.timedelta(days=2) if m in shifted else m[1]
        if m[2] == 'C':
            text = 'DEPOSITO' if not m[4] else 'DEPOSITO CHEQUE'
        else:
            text = 'CHEQUE COMPENSADO' if m[4] else 'PAGAMENTO DE TITULO'
        lines.append((day, m[2], m[3], m[4], text))
    if deposit:
        lines.append((deposit[2][1], 'C', sum(m[3] for m in deposit), '', 'DEPÓSITO EM CHEQUES (3)'))
    while ('D', fee) in values:
        fee += 1
    lines.append((last, 'D', fee, '', 'TARIFA PACOTE DE SERVIÇOS'))
    lines.sort(key=lambda line: line[0])
    return lines, fee


def field(value, width, digits=False):
    text = str(value)
    text = text.rjust(width, '0') if digits else text.ljust(width)
    if len(text) != width:
        raise ValueError(f'{value!r} does not fit {width} columns')
    return text


def record(fields):
    """A 240-column line from (start, width, text) triples, positions counted from 1; blanks elsewhere."""
    line = [' '] * 240
    for start, text in fields:
        line[start - 1:start - 1 + len(text)] = list(text)
    assert len(line) == 240
    return ''.join(line)


def ddmmyyyy(day):
    return day.strftime('%d%m%Y')


def cnab240(books, first, last, lines):
    bank = field(books.bank, 3, True)
    agency = field(''.join(c for c in books.agency if c.isdigit()), 5, True)
    account = field(''.join(c for c in books.number if c.isdigit()), 12, True)
    company = field('COMERCIAL AURORA LTDA', 30)
    opening = books.balance_at_end_of(first - datetime.timedelta(days=1))
    closing = opening + sum(c if k == 'C' else -c for _, k, c, _, _ in lines)

    def ours(batch, kind):
        return [(1, bank), (4, batch), (8, kind), (18, '2'), (19, '12345678000195'), (53, agency),
                (59, account), (73, company)]

    def balance(day, cents):
        return [(143, ddmmyyyy(day)), (151, field(abs(cents), 18, True)), (169, 'D' if cents < 0 else 'C')]

    out = [record(ours('0000', '0') + [(103, field('BANCO DEMONSTRACAO', 30)), (143, '2'),
                                       (144, ddmmyyyy(last)), (152, '080000'), (158, '000001'), (164, '089')])]
    out.append(record(ours('0001', '1') + [(9, 'E'), (10, '04'), (12, '40'), (14, '033')] +
                      balance(first, opening) + [(171, 'BRL'), (174, '00001')]))
    for sequence, (day, kind, cents, document, text) in enumerate(lines, start=1):
        out.append(record(ours('0001', '3') + [
            (9, field(sequence, 5, True)), (14, 'E'), (103, 'DPV'),
            (135, ddmmyyyy(day)), (143, ddmmyyyy(day)), (151, field(cents, 18, True)), (169, kind),
            (170, '101' if kind == 'C' else '105'), (173, '0001' if kind == 'C' else '0002'),
            (177, field(text, 25)), (202, field(document, 39))]))
    debits = sum(c for _, k, c, _, _ in lines if k == 'D')
    credits = sum(c for _, k, c, _, _ in lines if k == 'C')
    out.append(record(ours('0001', '5') + balance(last, closing) + [
        (170, 'F'), (171, field(len(lines) + 2, 6, True)), (177, field(debits, 18, True)),
        (195, field(credits, 18, True))]))
    out.append(record([(1, bank), (4, '9999'), (8, '9'), (18, field(1, 6, True)),
                       (24, field(len(out) + 1, 6, True)), (30, field(1, 6, True))]))
    return ('\r\n'.join(out) + '\r\n').encode('cp1252')


def ofx(books, first, last, lines, closing):
    def amount(kind, cents):
        return ('-' if kind == 'D' else '') + f'{cents // 100},{cents % 100:02d}'

    number = ''.join(c for c in books.number if c.isdigit())
    out = ['OFXHEADER:100', 'DATA:OFXSGML', 'VERSION:102', 'SECURITY:NONE', 'ENCODING:USASCII',
           'CHARSET:1252', 'COMPRESSION:NONE', 'OLDFILEUID:NONE', 'NEWFILEUID:NONE', '',
           '<OFX>', '<SIGNONMSGSRSV1><SONRS><STATUS><CODE>0<SEVERITY>INFO</STATUS>',
           f'<DTSERVER>{last:%Y%m%d}080000[-3:BRT]<LANGUAGE>POR</SONRS></SIGNONMSGSRSV1>',
           '<BANKMSGSRSV1><STMTTRNRS><TRNUID>1001<STATUS><CODE>0<SEVERITY>INFO</STATUS>',
           '<STMTRS><CURDEF>BRL',
           f'<BANKACCTFROM><BANKID>{books.bank}<BRANCHID>{books.agency}'
           f'<ACCTID>{number[:-1]}-{number[-1:]}<ACCTTYPE>CHECKING</BANKACCTFROM>',
           f'<BANKTRANLIST><DTSTART>{first:%Y%m%d}000000[-3:BRT]<DTEND>{last:%Y%m%d}235959[-3:BRT]']
    for sequence, (day, kind, cents, document, text) in enumerate(lines, start=1):
        out.append(f'<STMTTRN><TRNTYPE>{"CREDIT" if kind == "C" else "DEBIT"}'
                   f'<DTPOSTED>{day:%Y%m%d}100000[-3:BRT]<TRNAMT>{amount(kind, cents)}'
                   f'<FITID>{day:%Y%m%d}{sequence:04d}' + (f'<CHECKNUM>{document}' if document else '') +
                   f'<MEMO>{text}</STMTTRN>')
    out += ['</BANKTRANLIST>',
            f'<LEDGERBAL><BALAMT>{amount("C" if closing >= 0 else "D", abs(closing))}'
            f'<DTASOF>{last:%Y%m%d}235959[-3:BRT]</LEDGERBAL>',
            '</STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>', '']
    return '\n'.join(out).encode('utf-8')


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    books = Books(sys.argv[1])
    folder = sys.argv[2]
    today = books.today
    periods = {'cnab': (today - datetime.timedelta(days=13), today - datetime.timedelta(days=7)),
               'ofx': (today - datetime.timedelta(days=6), today)}
    made = {}
    for name, (first, last) in periods.items():
        movements = books.movements(first, last)
        if any(m[5] for m in movements):
            sys.exit(f'write_demo_statements: account {ACCOUNT} has reconciled movements from {first} to {last}')
        made[name] = (first, last) + bank_lines(movements, first, last, FEES[name])
    first, last, lines, cnab_fee = made['cnab']
    with open(os.path.join(folder, 'extrato-demo.ret'), 'wb') as out:
        out.write(cnab240(books, first, last, lines))
    first, last, lines, ofx_fee = made['ofx']
    # The bank holds both periods' fees; the books hold neither.
    closing = books.balance_at_end_of(last) - cnab_fee - ofx_fee
    with open(os.path.join(folder, 'extrato-demo.ofx'), 'wb') as out:
        out.write(ofx(books, first, last, lines, closing))


if __name__ == '__main__':
    main()
