#!/usr/bin/env python3
"""Writes the hostile spreadsheet files beside this script: each one reproduces a fault found in the readers
or the import, and seeds the readers' fuzz targets (tools/fuzz.sh). The spreadsheet tests read them and
expect what HostileFileTest.cpp says. Run it again only to change a file; commit what it writes."""

import struct
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
SHEET_RELS = ('<Relationships><Relationship Id="s" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
              'relationships/worksheet" Target="worksheets/sheet1.xml"/>{extra}</Relationships>')
ROW1 = ('<row r="1"><c r="A1" t="inlineStr"><is><t>Aile</t></is></c><c r="B1" t="inlineStr"><is><t>Ayşe</t>'
        '</is></c><c r="C1" t="inlineStr"><is><t>05351234567</t></is></c></row>').encode()
FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def part(name, method=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = method
    return info


def xlsx(name, sheet_data, sheet_method=zipfile.ZIP_DEFLATED, rels_extra='', sheet_xml=None):
    sheet = sheet_xml if sheet_xml is not None else (
        b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>' +
        sheet_data + b'</sheetData></worksheet>')
    with zipfile.ZipFile(HERE / name, 'w', compresslevel=9) as z:
        z.writestr(part('[Content_Types].xml'), '<Types/>')
        z.writestr(part('_rels/.rels'),
                   '<Relationships><Relationship Id="r" Type="http://schemas.openxmlformats.org/'
                   'officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>')
        z.writestr(part('xl/workbook.xml'),
                   '<workbook xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
                   '<sheets><sheet name="Rehber" sheetId="1" r:id="s"/></sheets></workbook>')
        z.writestr(part('xl/_rels/workbook.xml.rels'), SHEET_RELS.format(extra=rels_extra))
        z.writestr(part('xl/worksheets/sheet1.xml', sheet_method), sheet)


def ods(name, table_rows):
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
               '<table:table table:name="Rehber">').encode() + table_rows + \
        b'</table:table></office:spreadsheet></office:body></office:document-content>'
    with zipfile.ZipFile(HERE / name, 'w', compresslevel=9) as z:
        z.writestr(part('mimetype', zipfile.ZIP_STORED), 'application/vnd.oasis.opendocument.spreadsheet')
        z.writestr(part('content.xml'), content)


def contact_rows(count, first=1):
    return b''.join(
        f'<row r="{r}"><c r="A{r}" t="inlineStr"><is><t>Aile</t></is></c><c r="B{r}" t="inlineStr"><is>'
        f'<t>Kişi {r}</t></is></c><c r="C{r}"><v>53{r:08d}</v></c></row>'.encode()
        for r in range(first, first + count))


def ods_cell(text):
    return f'<table:table-cell office:value-type="string"><text:p>{text}</text:p></table:table-cell>'.encode()


def ods_rows(count):
    return b''.join(b'<table:table-row>' + ods_cell('Aile') + ods_cell(f'Kişi {r}') +
                    f'<table:table-cell office:value-type="float" office:value="53{r:08d}"/>'.encode() +
                    b'</table:table-row>' for r in range(1, count + 1))


def record(kind, data=b''):
    return struct.pack('<HH', kind, len(data)) + data


def biff_worksheet(body):
    """A bare BIFF8 worksheet stream: BOF, the records, EOF."""
    return record(0x0809, struct.pack('<HHHHII', 0x0600, 0x0010, 0, 0, 0, 0)) + body + record(0x000A)


def formula_with_text(row, column):
    # FORMULA: row, column, XF, a result whose text follows in a STRING record, flags, chn, empty parse
    return record(0x0006, struct.pack('<HHH', row, column, 15) + b'\x00\x00\x00\x00\x00\x00\xff\xff' +
                  struct.pack('<HIH', 0, 0, 0))


def string_record(text):
    encoded = text.encode('utf-16-le')
    return record(0x0207, struct.pack('<HB', len(text), 1) + encoded)


def number(row, column, value):
    return record(0x0203, struct.pack('<HHHd', row, column, 15, value))


def main():
    # A formula's text result comes after a cell further down, which grows the row table (a crash).
    (HERE / 'formula-text-after-a-far-cell.xls').write_bytes(biff_worksheet(
        formula_with_text(0, 1) + number(1000, 0, 1.0) + string_record('Formül metni') +
        number(0, 2, 5321234567.0)))
    # Empty CONTINUE records after a cell: each once cost a list entry.
    (HERE / 'empty-continues.xls').write_bytes(biff_worksheet(
        number(0, 1, 5321234567.0) + record(0x003C) * 20000 + number(1, 1, 5331234567.0)))

    # A damaged cell in row 3001, after 3000 good rows: the rows before it are kept, the cell is named.
    xlsx('damaged-cell-in-row-3001.xlsx',
         contact_rows(3000) + b'<row r="3001"><c r="A3001" t="inlineStr"><is><t>Aile</t></is></c>'
         b'<c r="B3001" t="inlineStr"><is><t>Bozuk</t></is></c><c r="C3001"><v>053O</v></c></row>' +
         contact_rows(10, 3002))
    ods('damaged-cell-in-row-3001.ods',
        ods_rows(3000) + b'<table:table-row>' + ods_cell('Aile') + ods_cell('Bozuk') +
        b'<table:table-cell office:value-type="float" office:value="053O"/></table:table-row>' + ods_rows(10))
    # Malformed XML right after two rows: with few rows it surfaced at opening, with no row.
    xlsx('malformed-after-two-rows.xlsx', contact_rows(2) + b'<row r="3"><c r="A3"><v>1</v></row>')

    # One comment of 64 MiB: expat parsed it again for every 64 KiB it was fed.
    xlsx('long-comment.xlsx', ROW1 + b'<!--' + b'x' * (64 << 20) + b'-->')
    # A sheet compressed with bzip2, which no spreadsheet program writes and which inflates slowly.
    xlsx('bzip2-sheet.xlsx', ROW1 + b'<row r="2"/>' * (8 << 20), sheet_method=zipfile.ZIP_BZIP2)
    # Thirty thousand worksheet relationships: every one was kept (a 0.9 MB list took 795 MiB).
    xlsx('many-relationships.xlsx', ROW1, rels_extra=''.join(
        f'<Relationship Id="x{i}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
        f'worksheet" Target="worksheets/s{i}.xml"/>' for i in range(30000)))
    # Blank rows, cells past the columns read, and blanks: tens of megabytes out of a few hundred KiB.
    xlsx('blank-rows.xlsx', ROW1 + b'<row/>' * (40 << 20))
    xlsx('cells-past-the-columns-read.xlsx',
         b'<row r="1"><c r="A1"><v>1</v></c><c r="B1"><v>2</v></c>' + b'<c r="Z1"/>' * (12 << 20) + b'</row>')
    xlsx('blanks.xlsx', ROW1 + b' ' * (256 << 20))
    # A stored sheet whose bytes were changed after it was written: its checksum says so.
    xlsx('changed-byte.xlsx', contact_rows(3), sheet_method=zipfile.ZIP_STORED)
    data = bytearray((HERE / 'changed-byte.xlsx').read_bytes())
    at = data.index(b'5300000002')
    data[at + 9] = ord('9')
    (HERE / 'changed-byte.xlsx').write_bytes(bytes(data))
    # Lone surrogates and NUL escaped in text: SQLite lost a digit after the one and ended at the other.
    xlsx('surrogate-and-nul.xlsx',
         b'<row r="1"><c r="A1" t="inlineStr"><is><t>Ai_x0000_le</t></is></c><c r="B1" t="inlineStr"><is>'
         b'<t>Ay_xD800_se</t></is></c><c r="C1" t="inlineStr"><is><t>0535_xDC00_1234567</t></is></c></row>')
    # A row with data past the 1,048,576 rows a sheet may have.
    xlsx('row-past-the-limit.xlsx', ROW1 + b'<row r="1048577"><c r="B1048577" t="inlineStr"><is><t>Son</t>'
                                           b'</is></c></row>')

    # A 32 Mi-character string-value: past the cell limit, and one token of 32 MiB.
    ods('long-string-value.ods',
        b'<table:table-row><table:table-cell office:value-type="string" office:string-value="' +
        b'a' * (32 << 20) + b'"/>' + ods_cell('Ayşe') + b'</table:table-row>')
    # A few hundred bytes that stood for a million contacts.
    ods('repeated-rows.ods', b'<table:table-row table:number-rows-repeated="1048576">' + ods_cell('Aile') +
        ods_cell('Ayşe') + b'</table:table-row>')

    # Line ends written twice over: LF CR and CR CR LF ended the import at the blank line they made.
    (HERE / 'doubled-line-ends.csv').write_bytes(
        b'Aile;Ay\xc5\x9fe;05351234567;Turkcell\n\rAile;Mehmet;05329876543;Avea\n\r'
        b'Aile;Zeynep;05551112233;Vodafone\r\r\nAile;Ali;05441112233;Avea\r\r\n')


if __name__ == '__main__':
    main()
