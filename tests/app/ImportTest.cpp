#include "GeneratedSheet.h"
#include "TwoContactsWindowTest.h"
#include "Typing.h"
#include "app/ImportProgress.h"
#include "phonebook/spreadsheet/ReadAheadWorksheet.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr int kBound = 20000; // ms; an import of a few rows takes a few

// The summary's last line for a sheet without a header.
const QString kColumnsAToD = QStringLiteral("\nSütunlar: grup A, ad soyad B, telefon C, operatör D");

// "Excel den Yükle" through the main window.
class WindowImportTest : public TwoContactsWindowTest {
protected:
    void importCsv(const QByteArray& content) {
        dialogs.fileName = file.dir() + QStringLiteral("/contacts.csv");
        QFile out(dialogs.fileName);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(content);
        out.close();
        control<QPushButton>("Button5").click();
    }

    bool waitForTheEnd() {
        return QTest::qWaitFor([this] { return !dialogs.messages.isEmpty() || !dialogs.errors.isEmpty(); },
                               kBound);
    }

    template <typename T = QWidget> T& control(const char* name) {
        return *form1->findChild<T*>(QString::fromLatin1(name));
    }
};

TEST_F(WindowImportTest, CommandsThatChangeThePhoneBookWaitForTheImportToEnd) {
    const char* const commands[] = {"Button2", "Button8", "Button3", "Button5",
                                    "Edit2",   "Edit3",   "Edit4",   "Edit5"};
    importCsv("Aile;Bir;05010000001;Avea\nAile;İki;05010000002;Avea\n");
    for (const char* name : commands) {
        EXPECT_FALSE(control(name).isEnabled()) << name << " while the import runs";
    }
    EXPECT_FALSE(form2->isEnabled());
    QTest::keyClick(&control<QTableView>("DBGrid1"), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(dialogs.questions.isEmpty()) << "Ctrl+Delete waits as well";

    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(dialogs.messages,
              QStringList{"2 kişi eklendi, 0 zaten rehberde, 0 numarasız ya da geçersiz" + kColumnsAToD});
    for (const char* name : commands) {
        EXPECT_TRUE(control(name).isEnabled()) << name << " after the import";
    }
    EXPECT_TRUE(form2->isEnabled());
    EXPECT_EQ(control<QTableView>("DBGrid1").model()->rowCount(), 4);
}

TEST_F(WindowImportTest, ARefusedRowIsNamedLeavesNothingPendingAndTheSearchWorks) {
    importCsv("Aile;Bir;05010000001;Avea\nAile;" + QByteArray(256, 'x') +
              ";05010000002;Avea\nAile;Üç;05010000003;Avea\n");
    ASSERT_TRUE(waitForTheEnd());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors.front().startsWith("Satır 2: ")) << dialogs.errors.front().toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(form1->query().state(), PhonebookView::State::Browsing) << "nobody typed that row";
    EXPECT_EQ(control<QTableView>("DBGrid1").model()->rowCount(), 3);
    EXPECT_EQ(file.count(), 3);

    auto& edit3 = control<QLineEdit>("Edit3");
    edit3.setText("bir");
    QTest::keyClick(&edit3, Qt::Key_Return);
    EXPECT_EQ(dialogs.errors.size(), 1) << "the search raises no error";
    EXPECT_EQ(control<QTableView>("DBGrid1").model()->rowCount(), 1);
    control<QPushButton>("Button2").click();
    EXPECT_EQ(form1->query().state(), PhonebookView::State::Adding) << "the commands work again";
}

TEST_F(WindowImportTest, AContactBeingTypedIsWrittenBeforeTheImport) {
    control<QPushButton>("Button2").click();
    typeText(*form2->findChild<QLineEdit*>("DBEdit1"), "Elle Yazılan");
    typeText(*form2->findChild<QLineEdit*>("DBEdit2"), "0501 000 00 01");
    importCsv("Aile;Bir;05010000001;Avea\nAile;İki;05010000002;Avea\n");
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_EQ(dialogs.messages,
              QStringList{"1 kişi eklendi, 1 zaten rehberde, 0 numarasız ya da geçersiz" + kColumnsAToD});
    EXPECT_EQ(file.count("adsoyad = 'Elle Yazılan'"), 1);
}

// "Son içe aktarmayı geri al": one question with the count of the last import's rows still in the book,
// then exactly those go; nothing else, and the button is off again.
TEST_F(WindowImportTest, UndoRemovesExactlyTheLastImportsRowsAfterOneQuestion) {
    auto& undo = control<QPushButton>("Button10");
    EXPECT_FALSE(undo.isEnabled());
    importCsv("Aile;Bir;05010000001;Avea\nAile;İki;05010000002;Avea\nAile;Üç;05010000003;Avea\n");
    EXPECT_FALSE(undo.isEnabled()) << "not while the import runs";
    ASSERT_TRUE(waitForTheEnd());
    EXPECT_TRUE(undo.isEnabled());
    control<QPushButton>("Button2").click(); // typed by hand after the import: stays
    typeText(*form2->findChild<QLineEdit*>("DBEdit1"), "Elle Yazılan");
    typeText(*form2->findChild<QLineEdit*>("DBEdit2"), "05019999999");
    form2->Button1Click();
    file.exec("delete from numara where adsoyad = 'İki'"); // another program

    dialogs.answers = {false};
    undo.click();
    EXPECT_EQ(dialogs.warnings,
              QStringList{"Son içe aktarmanın eklediği 2 kişi rehberden silinecek. Silinsin mi?"});
    EXPECT_EQ(file.count(), 2 + 2 + 1);
    undo.click();
    EXPECT_EQ(file.count(), 2 + 1);
    EXPECT_EQ(file.count("adsoyad = 'Elle Yazılan'"), 1);
    EXPECT_EQ(control<QTableView>("DBGrid1").model()->rowCount(), 3);
    EXPECT_EQ(dialogs.messages.back(), "2 kişi silindi");
    EXPECT_FALSE(undo.isEnabled()) << "undone once";
}

// Several rows selected in the grid go after one question with their count; one row asks as ever.
TEST_F(WindowImportTest, SeveralSelectedRowsGoAfterOneQuestion) {
    importCsv("Aile;Bir;05010000001;Avea\nAile;İki;05010000002;Avea\n");
    ASSERT_TRUE(waitForTheEnd());
    auto& grid = control<QTableView>("DBGrid1");
    grid.setFocus();
    grid.selectRow(0);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid.visualRect(grid.model()->index(2, 1)).center());
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid.visualRect(grid.model()->index(3, 1)).center());
    ASSERT_EQ(grid.selectionModel()->selectedRows().size(), 3);
    dialogs.answers = {false, true};
    control<QPushButton>("Button3").click();
    EXPECT_EQ(file.count(), 4) << "Cancel";
    control<QPushButton>("Button3").click();
    EXPECT_EQ(dialogs.warnings, (QStringList{"Seçili 3 kayıt silinecektir", "Seçili 3 kayıt silinecektir"}));
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(file.count("adsoyad = 'Mehmet Öz'"), 1);
    EXPECT_EQ(grid.model()->rowCount(), 1);

    grid.selectRow(0);
    dialogs.answers = {false};
    control<QPushButton>("Button3").click();
    EXPECT_EQ(dialogs.warnings.back(), "Kayıt Silinecektir") << "one row: the question as ever";
}

// The progress window on its own, over a sheet that would go on for ever.
class ImportProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"}});
        conn.open(file.path(), 50);
        view.open();
        QObject::connect(&progress, &ImportProgress::ended, [this] { ++ended; });
    }

    void start(int rows, int failingRow = 0) {
        progress.start(
            std::make_unique<SpreadsheetImport>(view, std::make_unique<GeneratedSheet>(rows, failingRow)));
    }

    ScriptedDialogs dialogs;
    PhonebookFile file;
    PhonebookDatabase conn;
    PhonebookView view{conn};
    ImportProgress progress{nullptr, 0ms};
    int ended = 0;
};

class CancelTest : public ImportProgressTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CancelTest, StoppingInTheMiddleKeepsTheRowsWrittenAndSaysHowMany) {
    start(1000000000);
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress.isVisible() && view.rowCount() > 1000; }, kBound));
    const QString shown = progress.findChild<QLabel*>("ImportRows")->text();
    EXPECT_TRUE(shown.endsWith(" satır okundu")) << shown.toStdString();
    EXPECT_GT(shown.section(' ', 0, 0).toInt(), 0);

    if (GetParam()) {
        progress.findChild<QPushButton*>("ImportCancel")->click();
    } else {
        progress.close(); // the window's frame
    }
    EXPECT_FALSE(progress.running());
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(conn.inTransaction());
    EXPECT_EQ(view.rowCount(), file.count());
    EXPECT_EQ(dialogs.messages,
              QStringList{QStringLiteral("İçe aktarma iptal edildi: %1 kişi eklendi, 0 zaten rehberde, 0 "
                                         "numarasız ya da geçersiz")
                              .arg(file.count() - 1) +
                          kColumnsAToD});
    const int kept = file.count();
    QTest::qWait(50);
    EXPECT_EQ(file.count(), kept) << "nothing goes on after the stop";
}

INSTANTIATE_TEST_SUITE_P(IptalOrFrame, CancelTest, ::testing::Bool());

// The file is opened and read on a thread of its own: "İptal" answers while it is still being read.
TEST_F(ImportProgressTest, IptalAnswersWhileTheFileIsStillBeingRead) {
    QByteArray rows;
    for (int i = 0; i < 200000; ++i) {
        rows += "Aile;Kişi " + QByteArray::number(i) + ";05" + QByteArray::number(400000000 + i) + ";Avea\n";
    }
    const QString path = file.dir() + QStringLiteral("/buyuk.csv");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(rows);
    out.close();
    progress.start(std::make_unique<SpreadsheetImport>(view, std::make_unique<ReadAheadWorksheet>(path)));
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress.isVisible(); }, kBound));
    progress.findChild<QPushButton*>("ImportCancel")->click();
    EXPECT_FALSE(progress.running());
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(conn.inTransaction());
    EXPECT_EQ(view.rowCount(), file.count());
    EXPECT_LT(file.count(), 1 + 200000) << "stopped before the end";
}

TEST_F(ImportProgressTest, AFailureEndsTheRunInTheErrorBox) {
    start(5000, 3000);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !progress.running(); }, kBound));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(), "Satır 3000: sheet.xlsx: a row is cut short\n"
                                      "2999 kişi eklendi, 0 zaten rehberde, 0 numarasız ya da geçersiz");
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(file.count(), 3000);
}

TEST(ImportProgressWindow, AShortImportShowsNoWindow) {
    ScriptedDialogs dialogs;
    PhonebookFile file;
    PhonebookDatabase conn;
    conn.open(file.path(), 50);
    PhonebookView view{conn};
    view.open();
    ImportProgress progress{nullptr};
    progress.start(std::make_unique<SpreadsheetImport>(view, std::make_unique<GeneratedSheet>(3)));
    EXPECT_TRUE(progress.running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !progress.running(); }, kBound));
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(dialogs.messages,
              QStringList{"3 kişi eklendi, 0 zaten rehberde, 0 numarasız ya da geçersiz" + kColumnsAToD});
}

} // namespace
