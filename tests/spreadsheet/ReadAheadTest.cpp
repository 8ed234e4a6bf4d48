// The worksheet read on a thread of its own gives what the worksheet read as asked gives, faults included;
// and a streamed worksheet passes blank rows without reading the file again.

#include "ReadAheadWorksheet.h"
#include "StreamedWorksheet.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

struct Read {
    std::vector<std::vector<QString>> rows; // every row to the sheet's end, all columns
    std::string error;
};

Read readAll(Worksheet& sheet) {
    Read read;
    try {
        for (int row = 1; !sheet.pastEnd(row); ++row) {
            read.rows.push_back(rowTexts(sheet, row, kReadColumns));
        }
    } catch (const SpreadsheetError& error) {
        read.error = error.what();
    }
    return read;
}

class ReadAheadTest : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ReadAheadTest, GivesTheRowsAndTheFaultOfTheFileAsItIsAskedFor) {
    const QString file = corpusPath(QString::fromLatin1(GetParam()));
    Read asked;
    try {
        const auto sheet = openFirstWorksheet(file);
        asked = readAll(*sheet);
    } catch (const SpreadsheetError& error) {
        asked.error = error.what();
    }
    ReadAheadWorksheet ahead(file);
    const Read read = readAll(ahead);
    EXPECT_EQ(read.rows.size(), asked.rows.size());
    EXPECT_TRUE(read.rows == asked.rows);
    EXPECT_EQ(read.error, asked.error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadAheadTest,
    ::testing::Values("generated/lo_contacts.xlsx", "generated/lo_contacts.xls", "generated/lo_contacts.ods",
                      "generated/lo_contacts_utf8_comma.csv", "third_party/calamine/issues.xlsx",
                      "hostile/damaged-cell-in-row-3001.xlsx", "hostile/malformed-after-two-rows.xlsx",
                      "hostile/repeated-rows.ods", "hostile/missing.xlsx"));

// Stopping a read that is still opening a large file waits only for the piece being read.
TEST(ReadAhead, StopsWhileTheFileOpens) {
    Scratch scratch;
    const QString file = scratch.write(
        QStringLiteral("buyuk.csv"), QByteArray("Aile;Ayşe Yılmaz;05351234567;Turkcell\n").repeated(500000));
    for (int round = 0; round < 3; ++round) {
        ReadAheadWorksheet ahead(file);
        EXPECT_FALSE(ahead.ready(400000, std::chrono::steady_clock::now())) << "not read that far at once";
    } // each one stops and joins its thread here
    ReadAheadWorksheet ahead(file);
    ASSERT_TRUE(ahead.ready(1, std::chrono::steady_clock::now() + std::chrono::seconds(60)));
    EXPECT_EQ(ahead.cell(1, 2).text, QStringLiteral("Ayşe Yılmaz"));
}

// Blank rows between rows with data are passed over once: asking for one does not read the file again from
// its start (which made a sheet with a long gap cost its gap times its length).
TEST(ReadAhead, BlankRowsAreNotReadAgainFromTheStart) {
    struct Runs final : spreadsheet::RowSource {
        std::vector<spreadsheet::RowRun> runs;
        size_t at = 0;
        bool next(spreadsheet::RowRun& run) override {
            if (at == runs.size()) {
                return false;
            }
            run = runs[at++];
            return true;
        }
    };
    int opened = 0;
    spreadsheet::StreamedWorksheet sheet(QStringLiteral("bosluk.xlsx"), [&opened] {
        ++opened;
        auto source = std::make_unique<Runs>();
        spreadsheet::RowRun data;
        data.cells[1] = {CellKind::Text, QStringLiteral("Ayşe")};
        source->runs = {data, {spreadsheet::Row{}, 5000}, data, {spreadsheet::Row{}, 7}};
        return source;
    });
    int rows = 0;
    for (int row = 1; !sheet.pastEnd(row); ++row) {
        rows += sheet.cell(row, 2).text.isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(sheet.cell(5002, 2).text, QStringLiteral("Ayşe"));
    EXPECT_TRUE(sheet.pastEnd(5003)) << "the blank rows at the end are none";
    EXPECT_EQ(opened, 1);
}
