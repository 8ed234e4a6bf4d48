// Zemvora Sms: the process entry.
#include "TurkishQtTexts.h"
#include "Unit1.h"
#include "Unit2.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QIcon>

namespace {

// The last line of defence: an error that escapes event delivery is shown,
// and the program goes on.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            showException(error);
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zemvora Sms"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zemvora-sms"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zemvora-sms")));
    const TurkishQtTexts turkish;

    TForm1 Form1(QApplication::applicationDirPath());
    if (Form1.phonebookInUse()) {
        return 1; // the other window has this book; start-up told the user so
    }
    TForm2 Form2(Form1);
    Form1.setContactDialog(&Form2);
    Form1.show();
    return QApplication::exec();
}
