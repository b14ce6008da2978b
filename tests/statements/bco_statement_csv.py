"""An ofxstatement plugin that reads the tests' CSV statements, so that the OFX they start from is written
by ofxstatement itself and not by our code.

The CSV has no heading; each row is: date (YYYY-MM-DD), payee, memo, amount (a point for decimals), the
bank's id of the line, the check number. The plugin's settings (ofxstatement's config.ini) give the bank,
the account, the currency and the closing balance.
"""

from decimal import Decimal

from ofxstatement.parser import CsvStatementParser
from ofxstatement.plugin import Plugin


class CsvParser(CsvStatementParser):
    date_format = "%Y-%m-%d"
    mappings = {"date": 0, "payee": 1, "memo": 2, "amount": 3, "id": 4, "check_no": 5}

    def parse(self):
        statement = super().parse()
        statement.start_date = min(line.date for line in statement.lines)
        statement.end_date = max(line.date for line in statement.lines)
        return statement

    def parse_record(self, line):
        record = super().parse_record(line)
        record.trntype = "DEBIT" if record.amount < 0 else "CREDIT"
        if not record.check_no:
            record.check_no = None
        return record


class CsvPlugin(Plugin):
    """CSV statements of the tests"""

    def get_parser(self, filename):
        parser = CsvParser(open(filename, encoding="utf-8", newline=""))
        parser.statement.bank_id = self.settings.get("bank")
        parser.statement.account_id = self.settings.get("account")
        parser.statement.currency = self.settings.get("currency")
        parser.statement.end_balance = Decimal(self.settings.get("closing-balance"))
        return parser
