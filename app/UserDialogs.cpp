#include "UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <new>

namespace {

UserDialogs* installed = nullptr;

QWidget* activeWindow() {
    return QApplication::activeWindow();
}

} // namespace

void UserDialogs::showError(const QString& text) {
    QMessageBox::critical(activeWindow(), QApplication::applicationName(), text);
}

void UserDialogs::showMessage(const QString& text) {
    QMessageBox::information(activeWindow(), QApplication::applicationName(), text);
}

bool UserDialogs::confirmWarning(const QString& text) {
    return QMessageBox::warning(activeWindow(), QStringLiteral("Uyarı"), text,
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool UserDialogs::confirmQuestion(const QString& text) {
    return QMessageBox::question(activeWindow(), QStringLiteral("Onay"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

QString UserDialogs::openFileName() {
    return QFileDialog::getOpenFileName(activeWindow());
}

UserDialogs& UserDialogs::current() {
    static UserDialogs real;
    return installed != nullptr ? *installed : real;
}

void UserDialogs::install(UserDialogs* dialogs) {
    installed = dialogs;
}

void showException(const std::exception& error) {
    // The library's own words for a lack of memory are no sentence for a user.
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        UserDialogs::current().showError(QStringLiteral("Bellek yetmedi"));
        return;
    }
    UserDialogs::current().showError(QString::fromUtf8(error.what()));
}
