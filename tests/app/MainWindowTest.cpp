#include "FakePorts.h"
#include "PhonebookFile.h"
#include "ScriptedDialogs.h"
#include "app/Unit1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

template <typename T = QWidget> T& control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return *found;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        file.add({
            {"Ayşe Yılmaz", "05351234567", "Turkcell", "Ankara"},
            {"Mehmet Öz", "05329876543", "Vodafone", "İstanbul"},
            {"Zeynep Çelik", "05551112233", std::nullopt, "Ankara"},
        });
    }

    std::unique_ptr<TForm1> start(std::vector<std::pair<std::string, std::string>> ports = {}) {
        return std::make_unique<TForm1>(file.dir(), modemWithPorts(std::move(ports)));
    }

    ScriptedDialogs dialogs;
    PhonebookFile file;
};

TEST_F(MainWindowTest, StartUpOpensTheBookAndShowsNoConnection) {
    auto form = start();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    EXPECT_EQ(form->windowTitle(), "Zemvora Sms");
    EXPECT_EQ(control<QLabel>(*form, "Label4").text(), "Durum: Bağlantı Yok");
    EXPECT_EQ(control<QTableView>(*form, "DBGrid1").model()->rowCount(), 3);
    EXPECT_EQ(control<QLabel>(*form, "Label7").text(), "0");
    EXPECT_FALSE(control<QPlainTextEdit>(*form, "memo2").isVisibleTo(form.get()));
    EXPECT_TRUE(control<QPlainTextEdit>(*form, "memo2").isReadOnly());
    EXPECT_FALSE(form->findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(form->findChild<QTimer*>("Timer1")->interval(), 2000);
    EXPECT_TRUE(control(*form, "Panel1").isEnabled());
}

TEST_F(MainWindowTest, PortListIsAscendingWithEachPortOnceAndItsDeviceAsTooltip) {
    auto form = start({{"COM12", "/dev/ttyACM0"},
                       {"COM3", "/dev/ttyUSB1"},
                       {"COM1", "/dev/ttyS0"},
                       {"COM3", "/dev/ttyUSB1"},
                       {"COM100", "/dev/ttyUSB7"},
                       {"com4", "/dev/ttyUSB8"}});
    auto& combo = control<QComboBox>(*form, "combo");
    ASSERT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.itemText(0), "COM1");
    EXPECT_EQ(combo.itemText(1), "COM3");
    EXPECT_EQ(combo.itemText(2), "COM12");
    EXPECT_EQ(combo.itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyACM0");
    EXPECT_EQ(combo.currentIndex(), -1) << "nothing is selected";
    EXPECT_EQ(form->modem().Port(), spNone) << "the component's port is not changed";
}

TEST_F(MainWindowTest, ChoosingAPortSetsTheComponentsPort) {
    auto form = start({{"COM3", "/dev/ttyUSB1"}, {"COM7", "/dev/ttyUSB2"}});
    form->comboChange(1);
    EXPECT_EQ(form->modem().Port(), spCOM7);
}

TEST_F(MainWindowTest, NoPortsLeavesTheListEmpty) {
    auto form = start();
    EXPECT_EQ(control<QComboBox>(*form, "combo").count(), 0);
    EXPECT_EQ(control<QLabel>(*form, "Label4").text(), "Durum: Bağlantı Yok");
}

TEST_F(MainWindowTest, MissingPhoneBookIsShownAndTheWindowStillOpens) {
    QTemporaryDir elsewhere;
    auto form = std::make_unique<TForm1>(elsewhere.path(), modemWithPorts({{"COM1", "/dev/ttyS0"}}));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("db.mdb"))) << "the program never creates the book";
    EXPECT_EQ(control<QTableView>(*form, "DBGrid1").model()->rowCount(), 0);
    EXPECT_EQ(control<QLabel>(*form, "Label4").text(), "") << "the later start-up steps are skipped";
    EXPECT_EQ(control<QComboBox>(*form, "combo").count(), 0);
}

TEST_F(MainWindowTest, GridShowsFourTitledColumnsAndEditsNothingInPlace) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    const QAbstractItemModel& model = *grid.model();
    ASSERT_EQ(model.columnCount(), 4);
    const std::vector<std::pair<QString, int>> columns{
        {"GRUP", 100}, {"AD SOYAD", 100}, {"TELEFON", 89}, {"OPERATOR", 100}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(model.headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), columns[i].first);
        EXPECT_EQ(grid.columnWidth(i), columns[i].second);
    }
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "İstanbul");
    EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole).toString(), "05329876543");
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid.selectionMode(), QAbstractItemView::ExtendedSelection) << "several rows for \"Sil\"";
}

TEST_F(MainWindowTest, DoubleClickCopiesTheCurrentNumberAsStored) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    auto& edit1 = control<QLineEdit>(*form, "Edit1");
    edit1.setText("typed");
    grid.setCurrentIndex(grid.model()->index(1, 0));
    form->DBGrid1DblClick();
    EXPECT_EQ(edit1.text(), "05329876543");
    EXPECT_EQ(form->query().currentRow(), 1) << "the current row stays";
}

TEST_F(MainWindowTest, DoubleClickOnAnEmptyViewEmptiesTheRecipient) {
    auto form = start();
    auto& edit1 = control<QLineEdit>(*form, "Edit1");
    edit1.setText("typed");
    control<QLineEdit>(*form, "Edit3").setText("nobody");
    form->Edit2KeyPress();
    form->DBGrid1DblClick();
    EXPECT_EQ(edit1.text(), "");
}

// Where on the grid a double-click lands.
enum class GridSpot { cell, blankArea, titleRow, rowIndicator, corner };

struct DoubleClickCase {
    const char* name;
    GridSpot spot;
    bool emptyView;
    const char* expected; // Edit1 afterwards
};

const DoubleClickCase kDoubleClicks[] = {
    {"OnACellOfTheThirdRow", GridSpot::cell, false, "05551112233"},
    {"OnTheBlankAreaBelowTheRows", GridSpot::blankArea, false, "05329876543"},
    {"OnTheTitleRow", GridSpot::titleRow, false, "05329876543"},
    {"OnTheRowIndicator", GridSpot::rowIndicator, false, "05329876543"},
    {"OnTheCorner", GridSpot::corner, false, "05329876543"},
    {"OnAnEmptyView", GridSpot::blankArea, true, ""},
    {"OnTheTitleRowOfAnEmptyView", GridSpot::titleRow, true, ""},
};

class GridDoubleClickTest : public MainWindowTest, public ::testing::WithParamInterface<DoubleClickCase> {};

TEST_P(GridDoubleClickTest, AnywhereOnTheGridCopiesTheCurrentNumber) {
    const DoubleClickCase& c = GetParam();
    auto form = start();
    form->show();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    auto& edit1 = control<QLineEdit>(*form, "Edit1");
    if (c.emptyView) {
        control<QLineEdit>(*form, "Edit3").setText("nobody");
        form->Edit2KeyPress();
    } else {
        grid.setCurrentIndex(grid.model()->index(1, 0));
    }
    edit1.setText("typed");
    const std::pair<QWidget*, QPoint> spots[] = {
        {grid.viewport(), grid.visualRect(grid.model()->index(2, 1)).center()},
        {grid.viewport(), {20, grid.viewport()->height() - 5}},
        {grid.horizontalHeader()->viewport(), {30, grid.horizontalHeader()->height() / 2}},
        {grid.verticalHeader()->viewport(), {grid.verticalHeader()->width() / 2, 8}},
        {grid.findChild<QAbstractButton*>(), {2, 2}},
    };
    const auto [surface, point] = spots[static_cast<int>(c.spot)];
    ASSERT_NE(surface, nullptr);
    // As a user's double-click arrives: a click, then the double-click.
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, point);
    QTest::mouseDClick(surface, Qt::LeftButton, Qt::NoModifier, point);
    EXPECT_EQ(edit1.text(), c.expected);
    if (!c.emptyView && c.spot != GridSpot::cell) {
        EXPECT_EQ(form->query().currentRow(), 1) << "the current row stays";
    }
}

INSTANTIATE_TEST_SUITE_P(Spots, GridDoubleClickTest, ::testing::ValuesIn(kDoubleClicks),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(MainWindowTest, EnterInAnyFilterBoxSearches) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    auto& edit5 = control<QLineEdit>(*form, "Edit5");
    edit5.setText("o");
    QTest::keyClick(&edit5, Qt::Key_Return);
    EXPECT_EQ(grid.model()->rowCount(), 1) << "Mehmet Öz's Vodafone; the row without an operator is left out";
    edit5.clear();
    auto& edit2 = control<QLineEdit>(*form, "Edit2");
    edit2.setText("ANK");
    QTest::keyClick(&edit2, Qt::Key_Enter);
    EXPECT_EQ(grid.model()->rowCount(), 2);
    edit2.clear();
    QTest::keyClick(&edit2, Qt::Key_Return);
    EXPECT_EQ(grid.model()->rowCount(), 3) << "all boxes empty shows the whole book";
}

TEST_F(MainWindowTest, ChoosingARowInTheGridMovesTheView) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    grid.setCurrentIndex(grid.model()->index(2, 1));
    EXPECT_EQ(form->query().currentRow(), 2);
    form->query().moveTo(0);
    EXPECT_EQ(grid.currentIndex().row(), 0) << "the grid follows the view";
}

TEST_F(MainWindowTest, CtrlDeleteAsksAndDeletesOnlyOnOk) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    dialogs.answers = {false};
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(dialogs.questions, QStringList{"Kayıt silinsin mi?"});
    EXPECT_EQ(file.count(), 3);
    dialogs.answers = {true};
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(grid.model()->rowCount(), 2);
}

TEST_F(MainWindowTest, ImportCancelledAddsNothing) {
    auto form = start();
    dialogs.fileName.clear();
    control<QPushButton>(*form, "Button5").click();
    EXPECT_EQ(dialogs.fileDialogs, 1);
    EXPECT_EQ(file.count(), 3);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(MainWindowTest, ImportShowsNewRowsInTheGridAndFailuresInTheErrorBox) {
    auto form = start();
    auto& grid = control<QTableView>(*form, "DBGrid1");
    dialogs.fileName = QStringLiteral(ZEMVORA_CORPUS_DIR "/generated/lo_contacts.ods");
    control<QPushButton>(*form, "Button5").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, 10000)) << "the import ends";
    EXPECT_EQ(dialogs.messages.front(),
              "9 kişi eklendi, 1 zaten rehberde, 0 numarasız ya da geçersiz, 1 adsız\n"
              "Sütunlar: grup A, ad soyad B, telefon C, operatör D")
        << "Şükrü Çağlayan's number is in the book already; row 8 has a number and no name";
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    EXPECT_EQ(grid.model()->rowCount(), 3 + 9);
    EXPECT_EQ(file.count(), 3 + 9);
    EXPECT_EQ(grid.currentIndex().row(), 3 + 9 - 1) << "the last contact of the sheet is current";

    dialogs.fileName = file.dir() + QStringLiteral("/missing.xlsx");
    control<QPushButton>(*form, "Button5").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.errors.isEmpty(); }, 10000))
        << "a file that cannot be opened is said in the import's first steps";
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(), dialogs.fileName + QStringLiteral(": açılamıyor: böyle bir dosya yok"));
    EXPECT_EQ(file.count(), 3 + 9);
    EXPECT_TRUE(control<QPushButton>(*form, "Button5").isEnabled());
}

struct Placement {
    const char* name;
    int left, top, width, height;
};

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
    auto form = start();
    const Placement placements[] = {
        {"combo", 8, 24, 145, 21},      {"Button1", 156, 24, 54, 21},   {"Panel1", 0, 104, 745, 409},
        {"Edit5", 312, 115, 102, 21},   {"Edit1", 528, 24, 185, 21},    {"memo1", 528, 72, 185, 89},
        {"Button4", 536, 200, 185, 41}, {"Button6", 536, 248, 185, 41}, {"memo2", 544, 296, 185, 89},
        {"Edit2", 21, 11, 102, 21},     {"Edit3", 122, 11, 102, 21},    {"Edit4", 221, 11, 92, 21},
        {"DBGrid1", 8, 32, 505, 337},   {"Button2", 8, 376, 49, 25},    {"Button8", 64, 376, 49, 25},
        {"Button3", 120, 376, 49, 25},  {"Button5", 176, 376, 97, 25},  {"Label8", 536, 296, 185, 70},
        {"Button9", 536, 376, 185, 25}, {"Button11", 400, 60, 97, 25},
    };
    for (const Placement& p : placements) {
        EXPECT_EQ(control(*form, p.name).geometry(), QRect(p.left, p.top, p.width, p.height)) << p.name;
    }
    const std::pair<const char*, QPoint> labels[] = {{"Label3", {8, 8}},     {"Label4", {8, 56}},
                                                     {"Label1", {528, 8}},   {"Label2", {528, 56}},
                                                     {"Label6", {536, 168}}, {"Label7", {632, 168}}};
    for (const auto& [name, topLeft] : labels) {
        EXPECT_EQ(control(*form, name).pos(), topLeft) << name;
    }
    EXPECT_EQ(control<QLabel>(*form, "Label3").text(), "Telefonun Bağlı Olduğu Port");
    EXPECT_EQ(control<QLabel>(*form, "Label1").text(), "Alıcı ( 0535******* Formatında girin)");
    EXPECT_EQ(control<QLabel>(*form, "Label6").text(), "Kullanılan Karakter:");
    EXPECT_EQ(control<QPushButton>(*form, "Button1").text(), "Bağlan");
    EXPECT_EQ(control<QPushButton>(*form, "Button4").text(), "Aktif Alıcıya Gönder");
    EXPECT_EQ(control<QPushButton>(*form, "Button6").text(), "Tüm Rehbere Gönder");
    EXPECT_EQ(control<QPushButton>(*form, "Button2").text(), "Ekle");
    EXPECT_EQ(control<QPushButton>(*form, "Button8").text(), "Düzelt");
    EXPECT_EQ(control<QPushButton>(*form, "Button3").text(), "Sil");
    EXPECT_EQ(control<QPushButton>(*form, "Button5").text(), "Excel den Yükle");
    EXPECT_EQ(control(*form, "Edit5").parentWidget(), form.get())
        << "Edit5 lies on the window, not the panel";
    EXPECT_EQ(control(*form, "Edit2").parentWidget(), &control(*form, "Panel1"));
    EXPECT_EQ(form->pos(), QPoint(203, 111));
}

TEST_F(MainWindowTest, RunProgressAndStopFitTheFreeSpaceUnderTheSendButtons) {
    auto form = start();
    auto& progress = control<QLabel>(*form, "Label8");
    auto& stop = control<QPushButton>(*form, "Button9");
    EXPECT_EQ(progress.text(), "");
    EXPECT_EQ(stop.text(), "Durdur");
    EXPECT_FALSE(stop.isEnabled()) << "no run goes";
    for (const QString& longest :
         {QStringLiteral("99999 / 99999 gönderildi · 99999 hata · 9999 belirsiz · kalan ~3334 dk"),
          QStringLiteral("Bitti: 99999 / 99999 gönderildi · 99999 hata · 9999 belirsiz — ayrıntı: Geçmiş"),
          QStringLiteral("Art arda 5 mesaj gönderilemedi: gönderim duraklatıldı\n99999 / 99999 gönderildi · "
                         "99999 hata · 9999 belirsiz")}) {
        progress.setText(longest);
        EXPECT_LE(progress.heightForWidth(progress.width()), progress.height()) << longest.toStdString();
    }
    EXPECT_LE(stop.sizeHint().width(), stop.width());
    for (QWidget* other : control(*form, "Panel1").findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != &progress && other != &stop && other->isVisibleTo(form.get())) {
            EXPECT_FALSE(other->geometry().intersects(progress.geometry().united(stop.geometry())))
                << other->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowTest, UndoOfTheLastImportStandsRightOfTheImportCoveringNothing) {
    auto form = start();
    auto& undo = control<QPushButton>(*form, "Button10");
    EXPECT_EQ(undo.geometry(), QRect(280, 376, 161, 25));
    EXPECT_EQ(undo.parentWidget(), &control(*form, "Panel1"));
    EXPECT_EQ(undo.text(), "Son içe aktarmayı geri al");
    EXPECT_LE(undo.sizeHint().width(), undo.width());
    EXPECT_FALSE(undo.isEnabled()) << "no import to undo";
    for (QWidget* other : control(*form, "Panel1").findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != &undo && other->isVisibleTo(form.get())) {
            EXPECT_FALSE(other->geometry().intersects(undo.geometry())) << other->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowTest, TabWalksEachParentInItsOrder) {
    auto form = start();
    const QStringList expected{"combo", "Button1", "DBGrid1", "Button2", "Button3", "memo1",
                               "Edit1", "Button4", "Button5", "Button6", "Button8", "Edit2",
                               "Edit3", "Edit4",   "memo2",   "Edit5"};
    QStringList walked;
    QWidget* widget = &control(*form, "combo");
    for (int i = 0; i < expected.size(); ++i) {
        walked << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty() ||
                 !expected.contains(widget->objectName()));
    }
    EXPECT_EQ(walked, expected);
}

// A day of sending would otherwise keep every line the phone ever sent.
TEST_F(MainWindowTest, TheReplyLogKeepsItsLastThousandLines) {
    auto form = start();
    for (int line = 1; line <= 1500; ++line) {
        form->GsmModemReceive(form->modem(), "+CSQ: " + std::to_string(line));
    }
    const QStringList lines = control<QPlainTextEdit>(*form, "memo2").toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), TForm1::ReplyLogLines);
    EXPECT_EQ(lines.first(), "+CSQ: 501");
    EXPECT_EQ(lines.last(), "+CSQ: 1500");
}

} // namespace
