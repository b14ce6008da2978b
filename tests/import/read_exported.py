#!/usr/bin/python3
"""Reads back an exported workbook (with openpyxl) and an exported CSV file (with the csv module) and prints
what each holds as JSON: {"xlsx": rows, "csv": rows}, an xlsx cell as "type:value" (a date as
"datetime:YYYY-MM-DD", an empty cell as "None:"), a CSV field as its text."""
import csv
import json
import sys

import openpyxl


def described(value):
    if value is None:
        return "None:"
    if hasattr(value, "date"):
        return "datetime:" + value.date().isoformat()
    return type(value).__name__ + ":" + str(value)


def main(xlsx_path, csv_path):
    sheet = openpyxl.load_workbook(xlsx_path).worksheets[0]
    xlsx_rows = [[described(value) for value in row] for row in sheet.iter_rows(values_only=True)]
    with open(csv_path, encoding="utf-8-sig", newline="") as handle:
        csv_rows = list(csv.reader(handle, delimiter=";"))
    json.dump({"sheet": sheet.title, "xlsx": xlsx_rows, "csv": csv_rows}, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
