#include "UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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
    return QMessageBox::warning(activeWindow(), QStringLiteral("Warning"), text,
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool UserDialogs::confirmQuestion(const QString& text) {
    return QMessageBox::question(activeWindow(), QStringLiteral("Confirm"), text,
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
    UserDialogs::current().showError(QString::fromUtf8(error.what()));
}
