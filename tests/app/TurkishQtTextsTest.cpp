#include "app/TurkishQtTexts.h"

#include "app/UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct ShownBox {
    QString caption, text, ok, cancel;
};

// Asks the real warning box, and reads and cancels it once it is shown.
std::pair<bool, ShownBox> askWarning(const QString& text) {
    ShownBox shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = {box->windowTitle(), box->text(), box->button(QMessageBox::Ok)->text(),
                 box->button(QMessageBox::Cancel)->text()};
        box->button(QMessageBox::Cancel)->click();
    });
    const bool answer = UserDialogs::current().confirmWarning(text);
    return {answer, shown};
}

TEST(TurkishQtTextsTest, StandardButtonsAreTurkishAndTheProgramsOwnTextsStay) {
    const TurkishQtTexts turkish;
    ASSERT_TRUE(turkish.loaded()) << "qt6-translations-l10n is installed by tools/install-deps.sh";
    const auto [answer, shown] = askWarning(QStringLiteral("Kayıt Silinecektir"));
    EXPECT_FALSE(answer) << "İptal answers no";
    EXPECT_EQ(shown.ok, "Tamam");
    EXPECT_EQ(shown.cancel, "İptal");
    EXPECT_EQ(shown.caption, "Uyarı");
    EXPECT_EQ(shown.text, "Kayıt Silinecektir");
}

TEST(TurkishQtTextsTest, TheFileDialogIsTurkish) {
    const TurkishQtTexts turkish;
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
    }
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        texts << button->text();
    }
    EXPECT_TRUE(texts.contains("Arama konumu:")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("İptal")) << texts.join('|').toStdString();
}

// The question of Ctrl+Delete has a Turkish title too; a lack of memory is said in Turkish.
TEST(TurkishQtTextsTest, TheProgramsOwnQuestionAndErrorsAreTurkish) {
    ShownBox shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = {box->windowTitle(), box->text(), {}, {}};
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_FALSE(UserDialogs::current().confirmQuestion(QStringLiteral("Kayıt silinsin mi?")));
    EXPECT_EQ(shown.caption, "Onay");
    EXPECT_EQ(shown.text, "Kayıt silinsin mi?");

    QString error;
    QTimer::singleShot(0, [&error] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        error = box->text();
        box->accept();
    });
    showException(std::bad_alloc());
    EXPECT_EQ(error, "Bellek yetmedi");
}

} // namespace
