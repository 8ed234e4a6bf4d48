#include "UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <vector>
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

int UserDialogs::ask(const QString& text, const QStringList& buttons) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::NoButton,
                    activeWindow());
    std::vector<QPushButton*> added;
    for (const QString& caption : buttons) {
        added.push_back(
            box.addButton(caption, added.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    }
    box.setDefaultButton(added.front());
    box.setEscapeButton(added.back());
    box.exec();
    const auto chosen = std::find(added.begin(), added.end(), box.clickedButton());
    return chosen == added.end() ? static_cast<int>(added.size()) - 1
                                 : static_cast<int>(chosen - added.begin());
}

QString UserDialogs::saveFileName(const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(activeWindow(), QString(), suggested, filter);
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
