// The main window on a phone book that cannot be written: it opens and shows
// the book, and every command that writes says so before it asks or shows
// anything, changing nothing.
#include "FakePorts.h"
#include "PhonebookFile.h"
#include "ReadOnlyFolder.h"
#include "ScriptedDialogs.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct WriteCommand {
    const char* name;
    std::function<void(TForm1&)> give;
};

void PrintTo(const WriteCommand& command, std::ostream* out) {
    *out << command.name;
}

void click(TForm1& form, const char* button) {
    form.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

class ReadOnlyWindowTest : public ::testing::TestWithParam<WriteCommand> {
protected:
    void SetUp() override {
        file.add({{"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
                  {"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"}});
        dialogs.fileName = QStringLiteral(ZEMVORA_CORPUS_DIR "/generated/lo_contacts.ods");
        folder.emplace(file.dir(), 0555, 0666);
        if (!folder->holds(0555, 0666)) {
            GTEST_SKIP() << ReadOnlyFolder::kCannot;
        }
        form1.emplace(file.dir(), modemWithPorts({}));
        form2.emplace(*form1);
        form1->setContactDialog(&*form2);
        form1->show();
    }

    void TearDown() override {
        form2.reset();
        form1.reset();
        folder.reset();
        EXPECT_EQ(file.count(), 2) << "the book is unchanged";
    }

    ScriptedDialogs dialogs;
    PhonebookFile file;
    std::optional<ReadOnlyFolder> folder;
    std::optional<TForm1> form1;
    std::optional<TForm2> form2;
};

TEST_P(ReadOnlyWindowTest, SaysSoBeforeAnythingElseAndChangesNothing) {
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    EXPECT_EQ(form1->findChild<QTableView*>("DBGrid1")->model()->rowCount(), 2) << "the book is shown";
    form1->query().moveTo(1);

    GetParam().give(*form1);

    const QString refusal = QStringLiteral("Rehber dosyası salt okunur: ") +
                            QDir::toNativeSeparators(QFileInfo(file.path()).absoluteFilePath());
    EXPECT_EQ(dialogs.errors, QStringList{refusal});
    EXPECT_TRUE(dialogs.warnings.isEmpty() && dialogs.questions.isEmpty()) << "no question was asked";
    EXPECT_EQ(dialogs.fileDialogs, 0);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(form1->query().state(), PhonebookView::State::Browsing);
    EXPECT_EQ(form1->query().rowCount(), 2);
    EXPECT_EQ(form1->query().currentRow(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Command, ReadOnlyWindowTest,
    ::testing::Values(WriteCommand{"Ekle", [](TForm1& form) { click(form, "Button2"); }},
                      WriteCommand{"Duzelt", [](TForm1& form) { click(form, "Button8"); }},
                      WriteCommand{"Sil", [](TForm1& form) { click(form, "Button3"); }},
                      WriteCommand{"CtrlDelete",
                                   [](TForm1& form) {
                                       QTest::keyClick(form.findChild<QTableView*>("DBGrid1"), Qt::Key_Delete,
                                                       Qt::ControlModifier);
                                   }},
                      WriteCommand{"ExcelDenYukle", [](TForm1& form) { click(form, "Button5"); }}),
    [](const ::testing::TestParamInfo<WriteCommand>& param) { return std::string(param.param.name); });

} // namespace
