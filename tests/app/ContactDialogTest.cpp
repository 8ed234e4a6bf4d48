#include "TwoContactsWindowTest.h"
#include "Typing.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using State = PhonebookView::State;

class ContactDialogTest : public TwoContactsWindowTest {
protected:
    QLineEdit& box(const char* name) { return *form2->findChild<QLineEdit*>(name); }
    QComboBox& operatorBox() { return *form2->findChild<QComboBox*>("DBComboBox1"); }
    QPushButton& dialogButton(const char* name) { return *form2->findChild<QPushButton*>(name); }
    QPushButton& mainButton(const char* name) { return *form1->findChild<QPushButton*>(name); }
    QTableView& grid() { return *form1->findChild<QTableView*>("DBGrid1"); }
    PhonebookView& view() { return form1->query(); }

    void type(const char* boxName, const QString& text) { typeText(box(boxName), text); }
};

TEST_F(ContactDialogTest, AddTypeSaveWritesTheContactAndHidesTheDialog) {
    mainButton("Button2").click();
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(view().state(), State::Adding);
    EXPECT_EQ(box("DBEdit1").text(), "") << "the dialog shows the new empty row";
    type("DBEdit1", "Fatma Şahin");
    type("DBEdit2", "05001112233");
    type("DBEdit3", "Bursa");
    operatorBox().lineEdit()->setText("");
    typeText(*operatorBox().lineEdit(), "Türk Telekom");
    dialogButton("Button1").click();
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(file.count("adsoyad = 'Fatma Şahin' and telefon = '05001112233' and grup = 'Bursa' and "
                         "gsm = 'Türk Telekom'"),
              1);
    EXPECT_EQ(grid().model()->rowCount(), 3);
}

TEST_F(ContactDialogTest, EditThenCancelDropsTheChange) {
    mainButton("Button8").click();
    EXPECT_EQ(view().state(), State::Editing);
    EXPECT_EQ(box("DBEdit1").text(), "Ayşe Yılmaz");
    box("DBEdit1").selectAll();
    type("DBEdit1", "Başka");
    dialogButton("Button2").click();
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(view().state(), State::Browsing);
    EXPECT_EQ(box("DBEdit1").text(), "Ayşe Yılmaz");
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz'"), 1);
}

TEST_F(ContactDialogTest, TypingIntoABoxStartsEditingByItself) {
    form2->showDialog();
    ASSERT_EQ(view().state(), State::Browsing);
    box("DBEdit2").selectAll();
    type("DBEdit2", "05000000000");
    EXPECT_EQ(view().state(), State::Editing);
    EXPECT_EQ(box("DBEdit2").text(), "05000000000");
    dialogButton("Button1").click();
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and telefon = '05000000000'"), 1);
}

// "Kaydet" warns about a number no message can reach; OK keeps it as typed, Cancel goes back.
TEST_F(ContactDialogTest, SaveWarnsOfANumberThatIsNone) {
    struct Case {
        const char* typed;
        bool answer;
        const char* warning; // "" for none
    };
    const Case cases[] = {
        {"0532 123 45 67", false, ""},
        {"0312 555 12 12", true, ""},
        {"Ev: 212 555", true, "geçersiz numara: Ev: 212 555 (rakam dışı karakter)"},
        {"0532", false, "geçersiz numara: 0532 (çok kısa)"},
        {"", true, "geçersiz numara: boş"},
    };
    for (const Case& c : cases) {
        dialogs.warnings.clear();
        dialogs.answers = {c.answer};
        mainButton("Button2").click();
        type("DBEdit1", "Yeni Kişi");
        type("DBEdit2", QString::fromUtf8(c.typed));
        dialogButton("Button1").click();
        const QString warning = QString::fromUtf8(c.warning);
        EXPECT_EQ(dialogs.warnings,
                  warning.isEmpty()
                      ? QStringList()
                      : QStringList{warning + "\nBu numaraya mesaj gönderilemez. Yine de kaydedilsin mi?"})
            << c.typed;
        const bool saved = warning.isEmpty() || c.answer;
        EXPECT_EQ(form2->isVisible(), !saved) << c.typed;
        EXPECT_EQ(view().state(), saved ? State::Browsing : State::Adding) << c.typed;
        EXPECT_EQ(file.count("coalesce(telefon, '') = '" + std::string(c.typed) + "'"), saved ? 1 : 0)
            << c.typed;
        if (!saved) {
            dialogButton("Button2").click();
        }
    }
}

TEST_F(ContactDialogTest, SaveWithNothingPendingShowsTheQueryErrorAndStaysOpen) {
    form2->showDialog();
    dialogButton("Button1").click();
    EXPECT_EQ(dialogs.errors, QStringList{"numara: Dataset not in edit or insert mode"});
    EXPECT_TRUE(form2->isVisible());
}

TEST_F(ContactDialogTest, CancelWithNothingPendingOnlyHides) {
    form2->showDialog();
    dialogButton("Button2").click();
    EXPECT_FALSE(form2->isVisible());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ContactDialogTest, DeleteAsksAWarningAndDeletesOnlyOnOk) {
    dialogs.answers = {false, true};
    mainButton("Button3").click();
    EXPECT_EQ(dialogs.warnings, QStringList{"Kayıt Silinecektir"});
    EXPECT_EQ(file.count(), 2);
    mainButton("Button3").click();
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz'"), 0);
}

TEST_F(ContactDialogTest, DeleteOnAnEmptyViewSaysTheBookIsEmpty) {
    auto* name = form1->findChild<QLineEdit*>("Edit3");
    name->setText("nobody");
    QTest::keyClick(name, Qt::Key_Return);
    mainButton("Button3").click();
    EXPECT_EQ(dialogs.errors, QStringList{"Rehber boş"});
}

TEST_F(ContactDialogTest, AddThenDeleteDiscardsTheNewRowAndKeepsTheDialog) {
    mainButton("Button2").click();
    type("DBEdit1", "Yeni");
    mainButton("Button3").click();
    EXPECT_EQ(file.count(), 2) << "nothing is deleted";
    EXPECT_EQ(view().state(), State::Browsing);
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(box("DBEdit1").text(), "Ayşe Yılmaz") << "the dialog shows the current row";
}

TEST_F(ContactDialogTest, ClickingAnotherRowSettlesAndTheDialogFollows) {
    mainButton("Button2").click();
    type("DBEdit1", "Yeni");
    grid().setCurrentIndex(grid().model()->index(1, 0));
    EXPECT_EQ(file.count("adsoyad = 'Yeni'"), 1);
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(box("DBEdit1").text(), "Mehmet Öz");

    mainButton("Button2").click();
    grid().setCurrentIndex(grid().model()->index(0, 0));
    EXPECT_EQ(file.count(), 3) << "an untouched new row is dropped, not written";
    EXPECT_EQ(grid().model()->rowCount(), 3);
}

TEST_F(ContactDialogTest, ClosingByTheFrameLeavesTheChangePending) {
    mainButton("Button2").click();
    type("DBEdit1", "Bekleyen");
    form2->close();
    EXPECT_FALSE(form2->isVisible());
    EXPECT_EQ(view().state(), State::Adding);
    EXPECT_EQ(file.count("adsoyad = 'Bekleyen'"), 0);
    mainButton("Button2").click();
    EXPECT_EQ(file.count("adsoyad = 'Bekleyen'"), 1) << "the next Ekle settles it";
}

TEST_F(ContactDialogTest, SearchWritesWhatWasTypedInsteadOfLosingIt) {
    mainButton("Button2").click();
    type("DBEdit1", "Arama Öncesi");
    auto* group = form1->findChild<QLineEdit*>("Edit2");
    group->setText("ankara");
    QTest::keyClick(group, Qt::Key_Return);
    EXPECT_EQ(file.count("adsoyad = 'Arama Öncesi'"), 1);
    dialogButton("Button1").click();
    EXPECT_EQ(dialogs.errors, QStringList{"numara: Dataset not in edit or insert mode"});
}

TEST_F(ContactDialogTest, EscapePutsTheColumnValueBackInThatBoxOnly) {
    mainButton("Button8").click();
    box("DBEdit1").selectAll();
    type("DBEdit1", "Yanlış");
    box("DBEdit3").selectAll();
    type("DBEdit3", "Yeni Grup");
    QTest::keyClick(&box("DBEdit1"), Qt::Key_Escape);
    EXPECT_EQ(box("DBEdit1").text(), "Ayşe Yılmaz");
    EXPECT_EQ(box("DBEdit1").selectedText(), "Ayşe Yılmaz");
    EXPECT_EQ(box("DBEdit3").text(), "Yeni Grup");
    EXPECT_TRUE(form2->isVisible()) << "Escape presses no button";
    dialogButton("Button1").click();
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and grup = 'Yeni Grup'"), 1);
}

TEST_F(ContactDialogTest, RefusedWriteSaysWhyAndLosesNothing) {
    mainButton("Button2").click();
    type("DBEdit1", "Kilitli Kişi");
    {
        WriteLock lock(file.path());
        dialogButton("Button1").click();
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors.front().startsWith("Rehber dosyası başka bir programda açık"))
            << dialogs.errors.front().toStdString();
        EXPECT_TRUE(form2->isVisible());
        EXPECT_EQ(view().state(), State::Adding);
        EXPECT_EQ(box("DBEdit1").text(), "Kilitli Kişi");
    }
    dialogButton("Button1").click();
    EXPECT_EQ(file.count("adsoyad = 'Kilitli Kişi'"), 1);
    EXPECT_FALSE(form2->isVisible());
}

TEST_F(ContactDialogTest, BoxesTakeAtMost255CharactersAndTheOperatorListIsFixed) {
    for (const char* name : {"DBEdit1", "DBEdit2", "DBEdit3"}) {
        EXPECT_EQ(box(name).maxLength(), 255) << name;
    }
    QComboBox& gsm = operatorBox();
    ASSERT_EQ(gsm.count(), 3);
    EXPECT_EQ(gsm.itemText(0), "Turkcell");
    EXPECT_EQ(gsm.itemText(1), "Avea");
    EXPECT_EQ(gsm.itemText(2), "Vodafone");
    EXPECT_TRUE(gsm.isEditable());
    EXPECT_EQ(gsm.currentText(), "Turkcell") << "it shows the row's operator";
}

TEST_F(ContactDialogTest, LayoutTabOrderAndNoDefaultButton) {
    EXPECT_EQ(form2->windowTitle(), "Telefon Bilgisi");
    EXPECT_EQ(form2->pos(), QPoint(489, 206));
    const std::pair<const char*, QRect> placements[] = {
        {"DBEdit3", {24, 16, 200, 21}},      {"DBEdit1", {24, 56, 200, 21}}, {"DBEdit2", {24, 96, 200, 21}},
        {"DBComboBox1", {24, 144, 201, 21}}, {"Button2", {72, 176, 75, 25}}, {"Button1", {152, 176, 75, 25}}};
    for (const auto& [name, rect] : placements) {
        EXPECT_EQ(form2->findChild<QWidget*>(name)->geometry(), rect) << name;
    }
    EXPECT_EQ(dialogButton("Button1").text(), "Kaydet");
    EXPECT_EQ(dialogButton("Button2").text(), "İptal");
    EXPECT_EQ(form2->findChild<QLabel*>("Label4")->text(), "OPREATÖR");
    EXPECT_EQ(form2->findChild<QLabel*>("Label2")->text(), "TELEFON     ( 0535******* Formatında girin)");
    for (const char* name : {"Button1", "Button2"}) {
        EXPECT_FALSE(dialogButton(name).isDefault());
        EXPECT_FALSE(dialogButton(name).autoDefault());
    }

    const QStringList expected{"DBEdit1", "DBEdit2", "Button1", "Button2", "DBEdit3", "DBComboBox1"};
    QStringList walked;
    QWidget* widget = &box("DBEdit1");
    for (int i = 0; i < expected.size(); ++i) {
        walked << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (!expected.contains(widget->objectName()));
    }
    EXPECT_EQ(walked, expected);
}

} // namespace
