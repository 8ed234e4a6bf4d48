// Every file of the corpus in tests/data/spreadsheets against what an independent reader found in it.
// The reference texts differ from the phone book's in form (TRUE, ISO dates, Python's float repr), so texts
// and whole numbers are compared exactly and dates, booleans and fractions by meaning.

#include "CellText.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

using namespace testfiles;

namespace {

QString unescapeTsv(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) != QLatin1Char('\\') || i + 1 == field.size()) {
            out.append(field.at(i));
            continue;
        }
        const QChar next = field.at(++i);
        out.append(next == QLatin1Char('n')   ? QChar(u'\n')
                   : next == QLatin1Char('r') ? QChar(u'\r')
                   : next == QLatin1Char('t') ? QChar(u'\t')
                                              : next);
    }
    return out;
}

// The reference's rows, `columns` wide.
std::vector<std::vector<QString>> readExpected(const QString& tsv, int columns) {
    QFile file(tsv);
    std::vector<std::vector<QString>> rows;
    if (!file.open(QIODevice::ReadOnly)) {
        return rows;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        std::vector<QString> row;
        for (const QByteArray& field : line.split('\t')) {
            row.push_back(unescapeTsv(QString::fromUtf8(field)));
        }
        row.resize(static_cast<size_t>(columns));
        rows.push_back(row);
    }
    return rows;
}

// The phone book's text for a reference reader's date, time or duration text; empty when it is none.
QString dateMeaning(const QString& expected) {
    static const QRegularExpression duration(QStringLiteral(R"(^(\d+) days?, (\d+):(\d\d):(\d\d)$)"));
    if (const auto m = duration.match(expected); m.hasMatch()) {
        const double serial =
            m.captured(1).toDouble() +
            (m.captured(2).toDouble() * 3600 + m.captured(3).toDouble() * 60 + m.captured(4).toDouble()) /
                86400.0;
        return spreadsheet::dateFromSerial(serial, false).value_or(QString());
    }
    const QString trimmed = expected.section(QLatin1Char('.'), 0, 0); // no fractions of a second
    if (const QTime time = QTime::fromString(trimmed, QStringLiteral("HH:mm:ss")); time.isValid()) {
        return spreadsheet::timeText(time);
    }
    if (const QDate date = QDate::fromString(trimmed, QStringLiteral("yyyy-MM-dd")); date.isValid()) {
        return spreadsheet::dateText(date);
    }
    const QDateTime dateTime = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!dateTime.isValid()) {
        return {};
    }
    // Day zero of the 1900 system: a time of day alone.
    if (dateTime.date() <= QDate(1899, 12, 31)) {
        return spreadsheet::timeText(dateTime.time());
    }
    return spreadsheet::dateTimeText(dateTime.date(), dateTime.time());
}

bool sameMeaning(const QString& expected, const Cell& cell) {
    if (expected == cell.text) {
        return true;
    }
    switch (cell.kind) {
    case CellKind::Boolean:
        return expected.compare(cell.text, Qt::CaseInsensitive) == 0;
    case CellKind::Number: {
        bool expectedOk = false;
        bool actualOk = false;
        const double a = expected.toDouble(&expectedOk);
        const double b = cell.text.toDouble(&actualOk);
        return expectedOk && actualOk && std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
    }
    case CellKind::Date: {
        // Readers that know fewer date formats give the serial number.
        bool isNumber = false;
        const double serial = expected.toDouble(&isNumber);
        if (isNumber) {
            return spreadsheet::dateFromSerial(serial, false) == cell.text;
        }
        return dateMeaning(expected) == cell.text;
    }
    default:
        return false;
    }
}

// Where this program deliberately differs from the reference reader, the text it gives instead.
struct Decision {
    const char* file;
    int row;
    int column;
    const char* text;
};

// Negative serials in date formats have no calendar date: they stay numbers. "_x000D_" is a carriage
// return. A cell's paragraphs are its lines, and a comment attached to it is no part of its text.
const Decision kDecisions[] = {
    {"crlf.xlsx", 2, 2, "abc\r\ndef"},
    {"has_x000D_.xlsx", 1, 1, "ABC\r\nDEF"},
    {"odd_cells.ods", 1, 1, "Split\nLine"},
    {"with-annotation.ods", 1, 1, "cell a.1"},
};

bool decidedNumber(const QString& file, int column, const Cell& cell) {
    return file == QLatin1String("LONumbers.xlsx") && (column == 3 || column == 5) &&
           cell.kind == CellKind::Number && cell.text.startsWith(u'-');
}

struct CorpusFile {
    QString path;     // relative to the corpus
    QString expected; // expected/<name>.tsv, or expected/raw/<name>.first15x6.tsv
};

// The files with what the reference found: `suffix` ".tsv" for the rows up to the first empty column 2,
// four columns; ".first15x6.tsv" in raw/ for rows 1 to 15 and six columns, with no stop rule.
std::vector<CorpusFile> filesWithExpectations(const QString& folder = QStringLiteral("expected"),
                                              const QString& suffix = QStringLiteral(".tsv")) {
    std::vector<CorpusFile> files;
    const QDir expected(corpusPath(folder));
    for (const QString& dir : {QStringLiteral("generated"), QStringLiteral("third_party/calamine"),
                               QStringLiteral("third_party/sheetjs"), QStringLiteral("third_party/xlrd")}) {
        for (const QString& name : QDir(corpusPath(dir)).entryList(QDir::Files, QDir::Name)) {
            const QString tsv = expected.filePath(name + suffix);
            if (QFile::exists(tsv) && name != QLatin1String("issue_594_dos.ods")) { // refused, below
                files.push_back({dir + QLatin1Char('/') + name, tsv});
            }
        }
    }
    return files;
}

// The corpus file's first worksheet; nothing, and a failure of the test, when it cannot be opened.
std::unique_ptr<Worksheet> openCorpusFile(const CorpusFile& file) {
    try {
        return openFirstWorksheet(corpusPath(file.path));
    } catch (const SpreadsheetError& error) {
        ADD_FAILURE() << error.what();
        return nullptr;
    }
}

// The sheet's rows against the reference's, cell by cell.
void expectRows(Worksheet& sheet, const QString& name, const std::vector<std::vector<QString>>& expected,
                int columns) {
    for (size_t r = 0; r < expected.size(); ++r) {
        for (int c = 1; c <= columns; ++c) {
            const int row = static_cast<int>(r) + 1;
            const Cell cell = sheet.cell(row, c);
            QString wanted = expected[r][static_cast<size_t>(c - 1)];
            for (const Decision& d : kDecisions) {
                if (name == QLatin1String(d.file) && d.row == row && d.column == c) {
                    wanted = QString::fromUtf8(d.text);
                }
            }
            if (decidedNumber(name, c, cell)) {
                continue;
            }
            EXPECT_TRUE(sameMeaning(wanted, cell))
                << "row " << row << " column " << c << ": wanted \"" << wanted.toStdString() << "\", got \""
                << cell.text.toStdString() << "\" (kind " << static_cast<int>(cell.kind) << ")";
        }
    }
}

} // namespace

TEST(Corpus, IsThere) {
    ASSERT_GE(filesWithExpectations().size(), 50U) << corpusPath(QString()).toStdString();
}

TEST(Corpus, EveryReadableFileGivesTheReferenceRows) {
    for (const CorpusFile& corpusFile : filesWithExpectations()) {
        const QString name = corpusFile.path.section(QLatin1Char('/'), -1);
        SCOPED_TRACE(corpusFile.path.toStdString());
        const std::unique_ptr<Worksheet> sheet = openCorpusFile(corpusFile);
        if (!sheet) {
            continue;
        }
        const auto expected = readExpected(corpusFile.expected, 4);
        if (expected.size() < 1000) { // the reference stopped at 1,000 rows
            EXPECT_EQ(rowCount(*sheet), static_cast<int>(expected.size()));
        }
        expectRows(*sheet, name, expected, 4);
    }
}

// Past the first row without a name and past the fourth column, as the reference saw them with no stop.
TEST(Corpus, EveryRowIsReadPastTheFirstEmptyName) {
    const std::vector<CorpusFile> files =
        filesWithExpectations(QStringLiteral("expected/raw"), QStringLiteral(".first15x6.tsv"));
    ASSERT_GE(files.size(), 50U);
    for (const CorpusFile& corpusFile : files) {
        SCOPED_TRACE(corpusFile.path.toStdString());
        const std::unique_ptr<Worksheet> sheet = openCorpusFile(corpusFile);
        if (!sheet) {
            continue;
        }
        expectRows(*sheet, corpusFile.path.section(QLatin1Char('/'), -1),
                   readExpected(corpusFile.expected, 6), 6);
    }
}

// Files the reference reader could not read: what this program makes of each.
TEST(Corpus, FilesTheReferenceReaderRefused) {
    const std::pair<const char*, int> readable[] = {
        // valid files that LibreOffice reads too, with its row counts
        {"third_party/calamine/strict_iso_paths.xlsx", 76},
        {"third_party/sheetjs/wtf_path.xlsx", 3},
        {"third_party/sheetjs/xlsx-stream-d-date-cell.xlsx", 13},
        {"third_party/calamine/empty_s_attribute.xlsx", 5},
        {"third_party/calamine/minimal_package.xlsx", 0},
        // text, read as CSV: one column, so no row with a column 2
        {"third_party/calamine/too_small.xls", 0},
    };
    for (const auto& [file, rows] : readable) {
        SCOPED_TRACE(file);
        std::unique_ptr<Worksheet> sheet;
        ASSERT_NO_THROW(sheet = openFirstWorksheet(corpusPath(QString::fromLatin1(file))));
        EXPECT_EQ(rowCount(*sheet), rows);
    }
    const std::pair<const char*, const char*> refused[] = {
        {"third_party/calamine/pass_protected.xlsx", "parola korumalı"},
        {"third_party/calamine/pass_protected.ods", "parola korumalı"},
        {"third_party/sheetjs/password_2002_40_xor.xls", "parola korumalı"},
        {"third_party/calamine/issue252.xlsx", "xl/_rels/workbook.xml.rels bölümü bozuk"},
        // a row of data repeated a billion times: a bomb
        {"third_party/calamine/issue_594_dos.ods", "satır 1: açıldığında boyutuna göre çok fazla veri"},
    };
    for (const auto& [file, message] : refused) {
        const QString path = corpusPath(QString::fromLatin1(file));
        EXPECT_TRUE(openError(path).startsWith(path + QStringLiteral(": ") + QString::fromUtf8(message)))
            << file << ": " << openError(path).toStdString();
    }
}

TEST(Corpus, DamagedFilesGiveAnErrorOrTheirReadableRows) {
    for (const char* file :
         {"third_party/calamine/OOM_alloc3.xls", "third_party/xlrd/corrupted_error.xls",
          "third_party/sheetjs/phpexcel_bad_cfb_dir.xls", "third_party/xlrd/invalid_formula.xls"}) {
        const QString path = corpusPath(QString::fromLatin1(file));
        try {
            const auto sheet = openFirstWorksheet(path);
            EXPECT_LE(rowCount(*sheet), 1) << file;
        } catch (const SpreadsheetError& error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).startsWith(path + QStringLiteral(": ")))
                << error.what();
        }
    }
}
