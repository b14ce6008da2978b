#!/usr/bin/python3
"""Writes the workbooks that the workbook reader's tests and benchmarks read, with the libraries other
programs use: python3-xlwt (.xls), python3-openpyxl (.xlsx) and python3-odf (.ods).

    write_workbooks.py DESCRIPTION.json
        writes every workbook the description lists (format below)
    write_workbooks.py --entries ROWS PATH...
        writes ROWS import entries (headings, then rows with a date cell in Data) to each path, in the
        format its extension names
    write_workbooks.py --clean-entries ROWS PATH...
        the same, but entries that the demo data accepts whole: dates of an open accounting period, known
        accounts, branches and types within their budgets, the supplier a payment's accounting needs, and no
        two alike
    write_workbooks.py --demo-import DATE PATH
        a small import for the demo database counted from DATE (YYYY-MM-DD): credits and debits of that
        day on accounts of two companies, one for a customer and one for a supplier, that import whole

A description is {"workbooks": [workbook, ...]}; a workbook is
    {"path": ..., "format": "xls" | "xlsx" | "ods", "date1904": false,
     "sheets": [{"name": "Plan1", "rows": [row, ...]}, ...],
     "xls": {"sector_size": 512 | 4096, "mini_stream": bool, "padding_bytes": N, "filepass": bool,
             "dimensions": [rows, columns]},
     "xlsx": {"inline_strings": bool, "omit_references": bool, "exact_names": bool}}
"xls" options other than the defaults write the compound file with our own writer below instead of
xlwt's, to get what other writers produce; "filepass" marks the workbook as encrypted; "dimensions" makes
each sheet claim to span that many rows and columns from its first cell.
A row is null (empty), a list of cells, or {"cells": [...], "repeat": N} (repeated N times; .ods writes
it as one repeated row). A cell is null (empty), a text, a number, or an object:
    {"date": "2024-03-15"}            a date cell shown as dd/mm/yyyy
    {"number": 1.5, "format": "0.00"}  a number with a number format
    {"percent": 0.5}                    a percentage (OpenDocument only), shown as "50,00 %"
    {"bool": true}                      (.ods: {"bool": true, "stored": "float"} as LibreOffice stores it)
    {"error": "#DIV/0!"}              (.ods: as LibreOffice writes it, an empty text shown as its code)
    {"formula": "1+1", "value": 2}     a formula and its cached result (number, text or boolean)
    {"formula": "A2+1"}                a formula left for a spreadsheet to compute (.xls: an empty text cached)
    {"value": cell, "repeat": N}       N copies side by side (.ods: one repeated cell)
    {"value": cell, "span": N}         merged over N columns
    {"value": cell, "span": N, "hidden": [cell, ...]}
                                       the same, its covered cells keeping contents the sheet does not show
                                       (.xls, .xlsx: as a program that keeps them when merging writes them)
    {"value": cell, "rows": N}         merged over N rows, the rows below holding null in its column
"""

import datetime
import json
import math
import struct
import sys
import zipfile
import xml.etree.ElementTree as ElementTree


def as_date(text):
    return datetime.date.fromisoformat(text)


def unrolled_rows(rows):
    """Rows as (index, cells as written) with repeats unrolled."""
    index = 0
    for row in rows:
        if row is None:
            index += 1
            continue
        cells = row if isinstance(row, list) else row["cells"]
        repeat = 1 if isinstance(row, list) else row.get("repeat", 1)
        for _ in range(repeat):
            yield index, cells
            index += 1


def expand_rows(rows):
    """Rows as (index, cells) with repeats unrolled, for the formats that write every row."""
    for index, cells in unrolled_rows(rows):
        yield index, expand_cells(cells)


def hidden_cells(rows):
    """(row, column, value) of the contents that merges over columns keep hidden in the cells they cover."""
    for index, cells in unrolled_rows(rows):
        column = 0
        for cell in cells:
            if isinstance(cell, dict) and "value" in cell and "formula" not in cell:
                for _ in range(cell.get("repeat", 1)):
                    for offset, value in enumerate(cell.get("hidden", [])):
                        yield index, column + 1 + offset, value
                    column += cell.get("span", 1)
            else:
                column += 1


def expand_cells(cells):
    """Cells as (column, cell, span, rows) with repeats unrolled and merged columns skipped."""
    column = 0
    placed = []
    for cell in cells:
        # A formula's "value" is its cached result, not a cell to repeat or span.
        if isinstance(cell, dict) and "value" in cell and "formula" not in cell:
            for _ in range(cell.get("repeat", 1)):
                placed.append((column, cell["value"], cell.get("span", 1), cell.get("rows", 1)))
                column += cell.get("span", 1)
        else:
            placed.append((column, cell, 1, 1))
            column += 1
    return placed


# --- .xls -------------------------------------------------------------------------------------------

def write_xls(workbook):
    import xlwt
    from xlwt import CompoundDoc

    book = xlwt.Workbook()
    book.dates_1904 = workbook.get("date1904", False)
    date_style = xlwt.easyxf(num_format_str="DD/MM/YYYY")
    styles = {}
    cached = {}  # (sheet index, row, column) -> a formula's cached result
    for sheet_index, sheet in enumerate(workbook["sheets"]):
        ws = book.add_sheet(sheet["name"], cell_overwrite_ok=True)
        for row, cells in expand_rows(sheet["rows"]):
            for column, cell, span, rows in cells:
                if cell is None:
                    continue
                if rows > 1 and isinstance(cell, dict) and "date" in cell:
                    ws.write_merge(row, row + rows - 1, column, column, as_date(cell["date"]), date_style)
                elif rows > 1:
                    ws.write_merge(row, row + rows - 1, column, column, cell)
                elif span > 1:
                    ws.write_merge(row, row, column, column + span - 1, cell)
                elif isinstance(cell, dict) and "date" in cell:
                    ws.write(row, column, as_date(cell["date"]), date_style)
                elif isinstance(cell, dict) and "number" in cell:
                    style = styles.setdefault(cell["format"], xlwt.easyxf(num_format_str=cell["format"]))
                    ws.write(row, column, cell["number"], style)
                elif isinstance(cell, dict) and "bool" in cell:
                    ws.write(row, column, bool(cell["bool"]))
                elif isinstance(cell, dict) and "error" in cell:
                    ws.row(row).set_cell_error(column, cell["error"])
                elif isinstance(cell, dict) and "formula" in cell:
                    ws.write(row, column, xlwt.Formula(cell["formula"]))
                    # Without one, the formula keeps what xlwt stores: an empty text, left to be computed.
                    if "value" in cell:
                        cached[(sheet_index, row, column)] = cell["value"]
                else:
                    ws.write(row, column, cell)
        for row, column, value in hidden_cells(sheet["rows"]):
            ws.write(row, column, value)
    stream = book.get_biff_data()
    options = workbook.get("xls", {})
    stream = patch_records(stream, cached, options.get("filepass", False), options.get("dimensions"))
    if set(options) - {"filepass", "dimensions"}:
        write_compound_file(workbook["path"], stream, options.get("sector_size", 512),
                            options.get("mini_stream", False), options.get("padding_bytes", 0))
    else:
        CompoundDoc.XlsDoc().save(workbook["path"], stream)


def records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        kind, length = struct.unpack_from("<HH", stream, pos)
        yield pos, kind, stream[pos + 4:pos + 4 + length]
        pos += 4 + length


def patch_records(stream, cached, filepass, dimensions=None):
    """Gives formulas their cached results (xlwt leaves them empty, to be computed on opening), rewrites
    the span the sheets' DIMENSIONS records claim and inserts a FILEPASS record, moving the sheets' offsets
    by what was inserted before them."""
    stream = bytearray(stream)
    inserts = []  # (position, bytes)
    sheet_index = -1
    for pos, kind, body in records(bytes(stream)):
        if kind == 0x0809:
            if struct.unpack_from("<H", body, 2)[0] == 0x0010:
                sheet_index += 1
            elif filepass:
                # RC4 encryption header with zeroed salt and verifier: enough to say "encrypted".
                filepass_record = struct.pack("<HHHHH", 0x002F, 54, 1, 1, 1) + bytes(48)
                inserts.append((pos + 4 + len(body), filepass_record))
        elif kind == 0x0200 and dimensions:
            first_row, _, first_column = struct.unpack_from("<IIH", body, 0)
            struct.pack_into("<I", stream, pos + 4 + 4, first_row + dimensions[0])
            struct.pack_into("<H", stream, pos + 4 + 10, first_column + dimensions[1])
        elif kind == 0x0006:
            row, column = struct.unpack_from("<HH", body, 0)
            value = cached.get((sheet_index, row, column))
            if value is None:
                continue
            if isinstance(value, bool):
                result = struct.pack("<BBBBHH", 1, 0, int(value), 0, 0, 0xFFFF)
            elif isinstance(value, (int, float)):
                result = struct.pack("<d", value)
            else:
                result = struct.pack("<BBBBHH", 0, 0, 0, 0, 0, 0xFFFF)
                text = value.encode("utf-16-le")
                string = struct.pack("<HB", len(value), 1) + text
                inserts.append((pos + 4 + len(body), struct.pack("<HH", 0x0207, len(string)) + string))
            stream[pos + 4 + 6:pos + 4 + 14] = result
    for pos, kind, body in records(bytes(stream)):
        if kind == 0x0085:
            offset = struct.unpack_from("<I", body, 0)[0]
            moved = offset + sum(len(data) for at, data in inserts if at <= offset)
            struct.pack_into("<I", stream, pos + 4, moved)
    for at, data in sorted(inserts, reverse=True):
        stream[at:at] = data
    return bytes(stream)


FREE, END, FAT_SECTOR, DIFAT_SECTOR = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


def write_compound_file(path, workbook_stream, sector_size, mini_stream, padding_bytes):
    """A compound file as other writers make them: 4096-byte sectors (version 4), small streams in the
    mini stream, or a second stream big enough that the allocation table spills into DIFAT sectors."""
    if not mini_stream:
        # Streams below the cutoff belong in the mini stream; writers that avoid it pad, as xlwt does.
        workbook_stream = workbook_stream.ljust(4096, b"\0")
    streams = {"Workbook": workbook_stream}
    if padding_bytes:
        streams["Padding"] = bytes(padding_bytes)
    per_sector = sector_size // 4
    sectors = []  # contents of each sector, in order
    fat = []

    def place(data):
        if not data:
            return END
        first = len(sectors)
        count = math.ceil(len(data) / sector_size)
        for i in range(count):
            sectors.append(data[i * sector_size:(i + 1) * sector_size].ljust(sector_size, b"\0"))
            fat.append(first + i + 1 if i + 1 < count else END)
        return first

    mini_data, mini_fat, starts = b"", [], {}
    for name, data in streams.items():
        if mini_stream and len(data) < 4096:
            first = len(mini_data) // 64
            count = math.ceil(len(data) / 64)
            mini_fat += [first + i + 1 if i + 1 < count else END for i in range(count)]
            mini_data += data.ljust(count * 64, b"\0")
            starts[name] = first
        else:
            starts[name] = place(data)
    mini_start = place(mini_data)
    mini_fat_bytes = struct.pack("<%dI" % len(mini_fat), *mini_fat) if mini_fat else b""
    mini_fat_start = place(mini_fat_bytes)

    names = sorted(streams, key=lambda n: (len(n), n.upper()))
    entries = [directory_entry("Root Entry", 5, END if not mini_data else mini_start, len(mini_data),
                               child=1)]
    for i, name in enumerate(names):
        right = i + 2 if i + 1 < len(names) else FREE
        entries.append(directory_entry(name, 2, starts[name], len(streams[name]), right=right))
    directory = b"".join(entries)
    directory_start = place(directory.ljust(math.ceil(len(directory) / sector_size) * sector_size, b"\0"))

    fat_count, difat_count = 1, 0
    while len(sectors) + fat_count + difat_count > fat_count * per_sector:
        fat_count += 1
        difat_count = max(0, math.ceil((fat_count - 109) / (per_sector - 1)))
    fat_first = len(sectors)
    fat += [FAT_SECTOR] * fat_count + [DIFAT_SECTOR] * difat_count
    fat += [FREE] * (fat_count * per_sector - len(fat))
    fat_sectors = list(range(fat_first, fat_first + fat_count))
    for i in range(fat_count):
        sectors.append(struct.pack("<%dI" % per_sector, *fat[i * per_sector:(i + 1) * per_sector]))
    difat_first = len(sectors) if difat_count else END
    rest = fat_sectors[109:]
    for i in range(difat_count):
        chunk = rest[i * (per_sector - 1):(i + 1) * (per_sector - 1)]
        chunk += [FREE] * (per_sector - 1 - len(chunk))
        following = len(sectors) + 1 if i + 1 < difat_count else END
        sectors.append(struct.pack("<%dI" % per_sector, *(chunk + [following])))

    header = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(16)
    header += struct.pack("<HHHHH", 0x3E, 3 if sector_size == 512 else 4, 0xFFFE,
                          9 if sector_size == 512 else 12, 6) + bytes(6)
    header += struct.pack("<IIIIIIIII", 0 if sector_size == 512 else math.ceil(len(directory) / sector_size),
                          fat_count, directory_start, 0, 4096,
                          mini_fat_start if mini_fat else END, math.ceil(len(mini_fat_bytes) / sector_size),
                          difat_first, difat_count)
    first_fats = fat_sectors[:109] + [FREE] * (109 - min(109, fat_count))
    header += struct.pack("<109I", *first_fats)
    with open(path, "wb") as out:
        out.write(header.ljust(sector_size, b"\0"))
        for sector in sectors:
            out.write(sector)


def directory_entry(name, kind, start, size, child=FREE, right=FREE):
    encoded = (name + "\0").encode("utf-16-le")
    return (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1)
            + struct.pack("<III", FREE, right, child) + bytes(16 + 4 + 16)
            + struct.pack("<IQ", start, size))


# --- .xlsx ------------------------------------------------------------------------------------------

def write_xlsx(workbook):
    import openpyxl
    from openpyxl.utils.datetime import CALENDAR_MAC_1904

    book = openpyxl.Workbook()
    book.remove(book.active)
    if workbook.get("date1904", False):
        book.epoch = CALENDAR_MAC_1904
    cached = {}
    hidden = {}
    for sheet in workbook["sheets"]:
        ws = book.create_sheet(sheet["name"])
        for row, column, value in hidden_cells(sheet["rows"]):
            hidden[(sheet["name"], row + 1, column + 1)] = value
        for row, cells in expand_rows(sheet["rows"]):
            for column, cell, span, rows in cells:
                if cell is None:
                    continue
                target = ws.cell(row=row + 1, column=column + 1)
                if isinstance(cell, dict) and "date" in cell:
                    target.value = as_date(cell["date"])
                    target.number_format = "DD/MM/YYYY"
                elif isinstance(cell, dict) and "number" in cell:
                    target.value = cell["number"]
                    target.number_format = cell["format"]
                elif isinstance(cell, dict) and "bool" in cell:
                    target.value = bool(cell["bool"])
                elif isinstance(cell, dict) and "error" in cell:
                    target.value = cell["error"]
                elif isinstance(cell, dict) and "formula" in cell:
                    target.value = "=" + cell["formula"]
                    cached[(sheet["name"], target.coordinate)] = cell.get("value")
                else:
                    target.value = cell
                if span > 1 or rows > 1:
                    ws.merge_cells(start_row=row + 1, start_column=column + 1, end_row=row + rows,
                                   end_column=column + span)
    book.save(workbook["path"])
    options = workbook.get("xlsx", {})
    if cached or options or hidden:
        rewrite_xlsx_sheets(workbook["path"], [s["name"] for s in workbook["sheets"]], cached, options, hidden)


MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def column_letters(column):
    """1 -> A, 27 -> AA."""
    letters = ""
    while column > 0:
        column, rest = divmod(column - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def column_number(reference):
    number = 0
    for ch in reference:
        if not ch.isalpha():
            break
        number = number * 26 + ord(ch) - ord("A") + 1
    return number


def rewrite_xlsx_sheets(path, sheet_names, cached, options, hidden=None):
    """What openpyxl cannot write and other writers do: formulas' cached results, inline strings, cells
    without references. Done with an XML library on the parts openpyxl wrote."""
    ElementTree.register_namespace("", MAIN)
    ElementTree.register_namespace("r", "http://schemas.openxmlformats.org/officeDocument/2006/relationships")
    with zipfile.ZipFile(path) as archive:
        parts = {name: archive.read(name) for name in archive.namelist()}
    shared = []
    if "xl/sharedStrings.xml" in parts:
        root = ElementTree.fromstring(parts["xl/sharedStrings.xml"])
        shared = ["".join(t.text or "" for t in si.iter("{%s}t" % MAIN)) for si in root]
    for index, name in enumerate(sheet_names):
        part = "xl/worksheets/sheet%d.xml" % (index + 1)
        root = ElementTree.fromstring(parts[part])
        for (sheet, row, column), value in (hidden or {}).items():
            if sheet != name:
                continue
            reference = "%s%d" % (column_letters(column), row)
            row_element = next(r for r in root.iter("{%s}row" % MAIN) if r.get("r") == str(row))
            c = next((c for c in row_element if c.get("r") == reference), None)
            if c is None:
                c = ElementTree.SubElement(row_element, "{%s}c" % MAIN, {"r": reference})
            if isinstance(value, (int, float)):
                ElementTree.SubElement(c, "{%s}v" % MAIN).text = repr(value)
            else:
                c.set("t", "inlineStr")
                inline = ElementTree.SubElement(c, "{%s}is" % MAIN)
                ElementTree.SubElement(inline, "{%s}t" % MAIN).text = value
            # The reader takes the row's cells in any order; kept in column order all the same.
            row_element[:] = sorted(row_element, key=lambda cell: column_number(cell.get("r")))
        for c in root.iter("{%s}c" % MAIN):
            value = cached.get((name, c.get("r")))
            formula = c.find("{%s}f" % MAIN)
            if formula is not None and value is not None:
                v = ElementTree.SubElement(c, "{%s}v" % MAIN)
                if isinstance(value, bool):
                    c.set("t", "b")
                    v.text = "1" if value else "0"
                elif isinstance(value, (int, float)):
                    v.text = repr(value)
                else:
                    c.set("t", "str")
                    v.text = value
            if options.get("inline_strings") and c.get("t") == "s":
                v = c.find("{%s}v" % MAIN)
                c.remove(v)
                c.set("t", "inlineStr")
                inline = ElementTree.SubElement(c, "{%s}is" % MAIN)
                ElementTree.SubElement(inline, "{%s}t" % MAIN).text = shared[int(v.text)]
            if options.get("omit_references"):
                c.attrib.pop("r", None)
        parts[part] = ElementTree.tostring(root, xml_declaration=True, encoding="UTF-8")
    if options.get("exact_names"):
        # openpyxl renames a sheet whose name another has in another case, as spreadsheet programs do.
        root = ElementTree.fromstring(parts["xl/workbook.xml"])
        for sheet, name in zip(root.iter("{%s}sheet" % MAIN), sheet_names):
            sheet.set("name", name)
        parts["xl/workbook.xml"] = ElementTree.tostring(root, xml_declaration=True, encoding="UTF-8")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in parts.items():
            archive.writestr(name, data)


# --- .ods -------------------------------------------------------------------------------------------

def write_ods(workbook):
    from odf.opendocument import OpenDocumentSpreadsheet
    from odf.table import CalculationSettings, CoveredTableCell, NullDate, Table, TableCell, TableRow
    from odf.text import P

    document = OpenDocumentSpreadsheet()
    if workbook.get("date1904", False):
        settings = CalculationSettings()
        settings.addElement(NullDate(datevalue="1904-01-01"))
        document.spreadsheet.addElement(settings)
    for sheet in workbook["sheets"]:
        table = Table(name=sheet["name"])
        covering = {}  # column -> rows still under a cell merged over rows above
        for row in sheet["rows"]:
            if row is None:
                table.addElement(TableRow())
                continue
            cells = row if isinstance(row, list) else row["cells"]
            repeat = 1 if isinstance(row, list) else row.get("repeat", 1)
            element = TableRow(numberrowsrepeated=repeat) if repeat > 1 else TableRow()
            under = {column for column, left in covering.items() if left > 0}
            covering = {column: left - 1 for column, left in covering.items() if left > 1}
            for column, cell in enumerate(cells):
                arguments = {}
                if isinstance(cell, dict) and "value" in cell and "formula" not in cell:
                    if cell.get("repeat", 1) > 1:
                        arguments["numbercolumnsrepeated"] = cell["repeat"]
                    span = cell.get("span", 1)
                    if span > 1:
                        arguments["numbercolumnsspanned"] = span
                    if cell.get("rows", 1) > 1:
                        arguments["numberrowsspanned"] = cell["rows"]
                        covering[column] = cell["rows"] - 1
                    cell = cell["value"]
                else:
                    span = 1
                if cell is None and column in under:
                    element.addElement(CoveredTableCell())
                    continue
                element.addElement(ods_cell(cell, arguments, TableCell, P))
                for _ in range(span - 1):
                    element.addElement(CoveredTableCell())
            table.addElement(element)
        document.spreadsheet.addElement(table)
    document.save(workbook["path"])


CALCEXT = "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"


def ods_cell(cell, arguments, TableCell, P):
    if cell is None:
        return TableCell(**arguments)
    if isinstance(cell, dict) and "formula" in cell:
        arguments["formula"] = "of:=" + cell["formula"]
        cell = cell.get("value")
        if cell is None:
            return TableCell(**arguments)
        if isinstance(cell, str):
            # As spreadsheet programs store a text result, an empty one included.
            element = TableCell(valuetype="string", stringvalue=cell, **arguments)
            element.addElement(P(text=cell))
            return element
    if isinstance(cell, dict) and "date" in cell:
        shown = as_date(cell["date"]).strftime("%d/%m/%Y")
        element = TableCell(valuetype="date", datevalue=cell["date"], **arguments)
    elif isinstance(cell, dict) and "number" in cell:
        shown = str(cell["number"])
        element = TableCell(valuetype="float", value=cell["number"], **arguments)
    elif isinstance(cell, dict) and "percent" in cell:
        shown = ("%.2f %%" % (cell["percent"] * 100)).replace(".", ",")
        element = TableCell(valuetype="percentage", value=cell["percent"], **arguments)
    elif isinstance(cell, bool) or (isinstance(cell, dict) and "bool" in cell):
        value = cell if isinstance(cell, bool) else cell["bool"]
        shown = "VERDADEIRO" if value else "FALSO"
        if isinstance(cell, dict) and cell.get("stored") == "float":
            # As LibreOffice stores a truth: a number, marked a truth in its own namespace.
            element = TableCell(valuetype="float", value=1 if value else 0, **arguments)
            element.setAttrNS(CALCEXT, "value-type", "boolean")
        else:
            element = TableCell(valuetype="boolean", booleanvalue="true" if value else "false", **arguments)
    elif isinstance(cell, (int, float)):
        shown = str(cell)
        element = TableCell(valuetype="float", value=cell, **arguments)
    elif isinstance(cell, dict) and "error" in cell:
        shown = cell["error"]
        element = TableCell(valuetype="string", stringvalue="", **arguments)
        element.setAttrNS(CALCEXT, "value-type", "error")
    else:
        shown = cell
        element = TableCell(valuetype="string", **arguments)
    element.addElement(P(text=shown))
    return element


# --- entries for the benchmarks ---------------------------------------------------------------------

HEADINGS = ["Data", "Conta Corrente", "Filial", "Forma", "Tipo", "Descrição", "Valor", "Documento",
            "Cliente", "Fornecedor"]


def entries_workbook(path, rows):
    first = datetime.date(2024, 1, 1)
    lines = [HEADINGS]
    for i in range(rows):
        day = first + datetime.timedelta(days=i % 366)
        lines.append([{"date": day.isoformat()}, "001", "0101", "C" if i % 2 else "D", "0001",
                      "Lançamento importado %d" % (i % 997), round(10 + (i % 100000) / 100, 2),
                      str(100000 + i), None, None])
    return {"path": path, "format": path.rsplit(".", 1)[1], "sheets": [{"name": "Plan1", "rows": lines}]}


def clean_entries_workbook(path, rows):
    first = datetime.date(2024, 3, 1)
    places = [("001", "0101"), ("002", "0102"), ("004", "0201")]
    lines = [HEADINGS]
    for i in range(rows):
        account, branch = places[i % len(places)]
        credit = i % 2 == 0
        # A payment to a supplier names the supplier, as its accounting needs.
        lines.append([{"date": (first + datetime.timedelta(days=i % 20)).isoformat()}, account, branch,
                      "C" if credit else "D", "0001" if credit else "0002", "Lançamento importado %d" % (i % 997),
                      round(10 + (i % 100000) / 100, 2), str(100000 + i), None, None if credit else "FOR0001"])
    return {"path": path, "format": path.rsplit(".", 1)[1], "sheets": [{"name": "Plan1", "rows": lines}]}


def demo_import_workbook(day, path):
    date = {"date": day}
    lines = [HEADINGS,
             [date, "001", "0101", "C", "0001", "Depósito da loja", 1520.35, "IMP-001", None, None],
             [date, "001", "0101", "C", "0002", "", "2.480,00", "IMP-002", "CLI0001", None],
             [date, "001", "0102", "D", "0002", "Pagamento de mercadorias", "1,250.90", "IMP-003", None, "FOR0001"],
             [date, "002", "0101", "C", "0005", "Transferência da matriz", 5000, "IMP-004", None, None],
             None,
             [date, "004", "0201", "D", "0010", "Despesas diversas", "89,90", "IMP-005", None, None],
             [date, "004", "0201", "C", "0001", "Depósito da fábrica", 730, "IMP-006", None, None]]
    return {"path": path, "format": path.rsplit(".", 1)[1], "sheets": [{"name": "Plan1", "rows": lines}]}


WRITERS = {"xls": write_xls, "xlsx": write_xlsx, "ods": write_ods}


def main(arguments):
    if arguments[:1] == ["--entries"]:
        workbooks = [entries_workbook(path, int(arguments[1])) for path in arguments[2:]]
    elif arguments[:1] == ["--demo-import"]:
        workbooks = [demo_import_workbook(arguments[1], arguments[2])]
    elif arguments[:1] == ["--clean-entries"]:
        workbooks = [clean_entries_workbook(path, int(arguments[1])) for path in arguments[2:]]
    else:
        with open(arguments[0], encoding="utf-8") as description:
            workbooks = json.load(description)["workbooks"]
    for workbook in workbooks:
        WRITERS[workbook["format"]](workbook)


if __name__ == "__main__":
    main(sys.argv[1:])
