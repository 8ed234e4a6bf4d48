#include "phonebook/PhonebookView.h"

#include "PhonebookFile.h"
#include "phonebook/PhonebookError.h"

#include <gtest/gtest.h>

namespace {

using State = PhonebookView::State;

class PhonebookViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({
            {"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
            {"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"},
            {"Zeynep Çelik", "05551112233", "Avea", "Ankara"},
        });
        conn.open(file.path(), 50);
        view.open();
    }

    void expectMessage(const std::function<void()>& action, const std::string& message) {
        try {
            action();
            FAIL() << "expected: " << message;
        } catch (const PhonebookError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }

    PhonebookFile file;
    PhonebookDatabase conn;
    PhonebookView view{conn};
};

TEST_F(PhonebookViewTest, OpeningMakesTheFirstRowCurrent) {
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.currentRow(), 0);
    EXPECT_FALSE(view.eof());
    EXPECT_EQ(view.fieldText(Field::telefon), "05351234567");
}

TEST_F(PhonebookViewTest, NextSetsEndOfDataOnlyFromTheLastRow) {
    view.next();
    view.next();
    EXPECT_EQ(view.currentRow(), 2);
    EXPECT_FALSE(view.eof());
    view.next();
    EXPECT_TRUE(view.eof());
    EXPECT_EQ(view.currentRow(), 2) << "the current row stays the last one";
    view.moveTo(1);
    EXPECT_FALSE(view.eof()) << "choosing another row clears the flag";
}

TEST_F(PhonebookViewTest, EmptyViewIsAtEndOfData) {
    view.search(boxes({{Field::adsoyad, "nobody"}}));
    EXPECT_TRUE(view.isEmpty());
    EXPECT_TRUE(view.eof());
    EXPECT_EQ(view.fieldText(Field::telefon), "");
}

TEST_F(PhonebookViewTest, SearchReopensOnTheFirstRowOfTheNewView) {
    view.moveTo(2);
    view.next();
    ASSERT_TRUE(view.eof());
    view.search(boxes({{Field::grup, "ankara"}}));
    EXPECT_EQ(view.rowCount(), 2);
    EXPECT_EQ(view.currentRow(), 0);
    EXPECT_FALSE(view.eof());
}

// The operation table, state by state.

TEST_F(PhonebookViewTest, AppendStartsANewEmptyRowAtTheEnd) {
    view.append();
    EXPECT_EQ(view.state(), State::Adding);
    EXPECT_EQ(view.rowCount(), 4);
    EXPECT_EQ(view.currentRow(), 3);
    EXPECT_TRUE(view.fieldText(Field::adsoyad).isEmpty());
}

TEST_F(PhonebookViewTest, AppendTypeAppendWritesTheFirstRow) {
    view.append();
    view.setFieldText(Field::adsoyad, "Yeni");
    view.append();
    EXPECT_EQ(file.count("adsoyad = 'Yeni' and telefon is null"), 1);
    EXPECT_EQ(view.state(), State::Adding);
    EXPECT_EQ(view.rowCount(), 5);
}

TEST_F(PhonebookViewTest, AppendNothingAppendDiscardsTheEmptyRow) {
    view.append();
    view.append();
    EXPECT_EQ(file.count(), 3) << "the table gains no empty row";
    EXPECT_EQ(view.rowCount(), 4);
}

TEST_F(PhonebookViewTest, AppendWhileEditingSettlesTheEdit) {
    view.edit();
    view.setFieldText(Field::gsm, "Avea");
    view.append();
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and gsm = 'Avea'"), 1);
}

TEST_F(PhonebookViewTest, EditOnAnEmptyViewStartsANewRow) {
    view.search(boxes({{Field::adsoyad, "nobody"}}));
    view.edit();
    EXPECT_EQ(view.state(), State::Adding);
    EXPECT_EQ(view.rowCount(), 1);
}

TEST_F(PhonebookViewTest, EditTwiceChangesNothing) {
    view.edit();
    view.setFieldText(Field::adsoyad, "Değişti");
    view.edit();
    EXPECT_EQ(view.state(), State::Editing);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Değişti");
    view.append();
    view.edit();
    EXPECT_EQ(view.state(), State::Adding) << "editing while adding does nothing";
}

TEST_F(PhonebookViewTest, TypingWhileBrowsingStartsEditingByItself) {
    view.setFieldText(Field::gsm, "Avea");
    EXPECT_EQ(view.state(), State::Editing);
    EXPECT_TRUE(view.modified());
    EXPECT_EQ(file.count("gsm = 'Avea'"), 1) << "nothing is written before it is settled";
}

TEST_F(PhonebookViewTest, PostWritesEditsAndNewRows) {
    view.edit();
    view.setFieldText(Field::telefon, "05000000000");
    view.post();
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and telefon = '05000000000'"), 1);

    view.append();
    view.setFieldText(Field::adsoyad, "Yeni");
    view.post();
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_GT(view.row(view.currentRow()).id, 0) << "the database gave the row its id";
    EXPECT_EQ(file.count("adsoyad = 'Yeni'"), 1);
}

TEST_F(PhonebookViewTest, PostWithNothingPendingNamesTheQuery) {
    expectMessage([this] { view.post(); }, "numara: Dataset not in edit or insert mode");
}

TEST_F(PhonebookViewTest, CancelDropsEditsAndNewRows) {
    view.cancel();
    EXPECT_EQ(view.state(), State::Browsing);

    view.setFieldText(Field::adsoyad, "Değişti");
    view.cancel();
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Ayşe Yılmaz");

    view.moveTo(1);
    view.append();
    view.setFieldText(Field::adsoyad, "Yeni");
    view.cancel();
    EXPECT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.currentRow(), 1) << "back on the row that was current before";
    EXPECT_EQ(file.count(), 3);
}

TEST_F(PhonebookViewTest, RemoveDeletesTheCurrentRow) {
    view.moveTo(1);
    view.remove();
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(file.count("adsoyad = 'Mehmet Öz'"), 0);
    EXPECT_EQ(view.rowCount(), 2);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Zeynep Çelik");
}

TEST_F(PhonebookViewTest, RemoveWhileEditingDeletesTheRowWithItsChanges) {
    view.setFieldText(Field::adsoyad, "Değişti");
    view.remove();
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(file.count("adsoyad = 'Değişti'"), 0);
}

TEST_F(PhonebookViewTest, RemoveWhileAddingOnlyDiscardsTheNewRow) {
    view.append();
    view.setFieldText(Field::adsoyad, "Yeni");
    view.remove();
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(view.rowCount(), 3);
}

TEST_F(PhonebookViewTest, RemoveOnAnEmptyViewSaysTheBookIsEmpty) {
    view.search(boxes({{Field::adsoyad, "nobody"}}));
    expectMessage([this] { view.remove(); }, "Rehber boş");
}

TEST_F(PhonebookViewTest, MovingSettlesThePendingChange) {
    view.append();
    view.moveTo(0);
    EXPECT_EQ(view.rowCount(), 3) << "an untouched new row vanishes";
    EXPECT_EQ(view.currentRow(), 0);

    view.append();
    view.setFieldText(Field::adsoyad, "Yeni");
    view.moveTo(1);
    EXPECT_EQ(file.count("adsoyad = 'Yeni'"), 1) << "a new row with something typed is written";
    EXPECT_EQ(view.currentRow(), 1);

    view.setFieldText(Field::gsm, "Avea");
    view.next();
    EXPECT_EQ(file.count("adsoyad = 'Mehmet Öz' and gsm = 'Avea'"), 1);
}

TEST_F(PhonebookViewTest, SearchSettlesInsteadOfLosingWhatWasTyped) {
    view.append();
    view.setFieldText(Field::adsoyad, "Yazılan");
    view.setFieldText(Field::grup, "Ankara");
    view.search(boxes({{Field::grup, "ankara"}}));
    EXPECT_EQ(file.count("adsoyad = 'Yazılan'"), 1);
    EXPECT_EQ(view.rowCount(), 3);
    expectMessage([this] { view.post(); }, "numara: Dataset not in edit or insert mode");

    view.append();
    view.search({});
    EXPECT_EQ(file.count(), 4) << "an untouched new row is discarded, not written";
}

TEST_F(PhonebookViewTest, RefusedWriteKeepsTheChangePending) {
    view.append();
    view.setFieldText(Field::adsoyad, "Kilitli");
    {
        WriteLock lock(file.path());
        EXPECT_THROW(view.post(), PhonebookError);
        EXPECT_EQ(view.state(), State::Adding);
        EXPECT_EQ(view.fieldText(Field::adsoyad), "Kilitli");
        EXPECT_THROW(view.moveTo(0), PhonebookError) << "a move cannot settle it either";
        EXPECT_EQ(view.currentRow(), 3);
        EXPECT_THROW(view.search({}), PhonebookError);
        EXPECT_EQ(view.rowCount(), 4) << "nor can a search throw it away";
    }
    view.post();
    EXPECT_EQ(file.count("adsoyad = 'Kilitli'"), 1);
}

TEST_F(PhonebookViewTest, RevertFieldRestoresOneColumnOnly) {
    view.setFieldText(Field::adsoyad, "Değişti");
    view.setFieldText(Field::gsm, "Avea");
    view.revertField(Field::adsoyad);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Ayşe Yılmaz");
    EXPECT_EQ(view.fieldText(Field::gsm), "Avea");
    EXPECT_EQ(view.state(), State::Editing);
}

TEST_F(PhonebookViewTest, WrittenRowsJoinTheEndAnnouncedOnceAndTheCurrentRowStays) {
    std::vector<std::pair<int, int>> announced;
    QObject::connect(&view, &PhonebookView::rowsInserted,
                     [&announced](int first, int last) { announced.emplace_back(first, last); });
    view.moveTo(1);
    Contact first;
    first.id = 41;
    first.adsoyad = "Yeni Bir";
    Contact second = first;
    second.id = 42;
    second.adsoyad = "Yeni İki";
    view.appendWritten({first, second});
    EXPECT_EQ(announced, (std::vector<std::pair<int, int>>{{3, 4}}));
    EXPECT_EQ(view.rowCount(), 5);
    EXPECT_EQ(view.row(4), second);
    EXPECT_EQ(view.currentRow(), 1);
    EXPECT_EQ(file.count(), 3) << "the rows are the caller's to write";

    view.append();
    view.setFieldText(Field::adsoyad, "Yazılan");
    view.appendWritten({first});
    EXPECT_EQ(view.state(), State::Browsing) << "a pending new row is written first and stays before them";
    EXPECT_EQ(view.row(5).adsoyad, "Yazılan");
    EXPECT_EQ(view.row(6), first);
}

TEST_F(PhonebookViewTest, ClosedViewRefusesWorkAndIsAtEnd) {
    view.close();
    EXPECT_TRUE(view.eof());
    expectMessage([this] { view.append(); }, "Rehber açık değil");
    EXPECT_THROW(view.next(), PhonebookError);
}

} // namespace

namespace {

// Another program deletes the row being edited: the change is kept, and the next "Kaydet" adds it again;
// "İptal" or "Sil" let it go. Nothing is reported saved that is not.
TEST_F(PhonebookViewTest, AnEditOfARowAnotherProgramDeletedIsKeptAndAddedAgain) {
    view.setFieldText(Field::telefon, "05000000000");
    file.exec("delete from numara where adsoyad = 'Ayşe Yılmaz'");
    expectMessage([this] { view.post(); },
                  "Kayıt artık rehberde yok: Ayşe Yılmaz\nKaydet yeniden ekler, İptal bırakır.");
    EXPECT_EQ(view.state(), State::Editing);
    EXPECT_EQ(view.fieldText(Field::telefon), "05000000000") << "the change stays";
    EXPECT_EQ(file.count(), 2);

    view.post();
    EXPECT_EQ(view.state(), State::Browsing);
    EXPECT_EQ(file.count("adsoyad = 'Ayşe Yılmaz' and telefon = '05000000000'"), 1);
    EXPECT_GT(view.storedRow(0).id, 0);
    expectMessage([this] { view.post(); }, "numara: Dataset not in edit or insert mode");
}

TEST_F(PhonebookViewTest, ARowAnotherProgramDeletedGoesOnCancelOrDelete) {
    view.moveTo(1);
    view.setFieldText(Field::gsm, "Avea");
    file.exec("delete from numara where adsoyad in ('Mehmet Öz', 'Zeynep Çelik')");
    EXPECT_THROW(view.post(), PhonebookError);
    view.cancel();
    EXPECT_EQ(view.rowCount(), 2) << "it is not in the file: it leaves the view";
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Zeynep Çelik");

    expectMessage([this] { view.remove(); }, "Kayıt artık rehberde yok: Zeynep Çelik");
    EXPECT_EQ(view.rowCount(), 1);
    EXPECT_EQ(file.count(), 1);
}

TEST_F(PhonebookViewTest, SeveralRowsGoInOneDeletion) {
    view.moveTo(1);
    view.remove({0, 2});
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(view.rowCount(), 1);
    EXPECT_EQ(view.fieldText(Field::adsoyad), "Mehmet Öz") << "the current row stays current";

    file.add({{"Yeni", "0501", "Avea", "Ankara"}, {"Başka", "0502", "Avea", "Ankara"}});
    view.search({});
    file.exec("delete from numara where adsoyad = 'Yeni'");
    expectMessage([this] { view.remove({1, 2}); }, "1 kayıt zaten rehberde yoktu; ötekiler silindi");
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(view.rowCount(), 1);
}

// The search filters the rows the view holds; what another program commits meanwhile is read again.
TEST_F(PhonebookViewTest, SearchSeesWhatAnotherProgramChangedAndWhatThisOneDid) {
    view.search(boxes({{Field::grup, "ankara"}}));
    EXPECT_EQ(view.rowCount(), 2);
    view.append();
    view.setFieldText(Field::grup, "ANKARA");
    view.setFieldText(Field::adsoyad, "Buradan");
    view.post();
    file.add({{"Başka Programdan", "0501", "Avea", "Ankara Şube"}});
    file.exec("update numara set grup = 'İzmir' where adsoyad = 'Zeynep Çelik'");
    view.search(boxes({{Field::grup, "ANK"}}));
    std::vector<QString> names;
    for (int i = 0; i < view.rowCount(); ++i) {
        names.push_back(view.text(i, Field::adsoyad));
    }
    EXPECT_EQ(names, (std::vector<QString>{"Ayşe Yılmaz", "Buradan", "Başka Programdan"}));
}

} // namespace
