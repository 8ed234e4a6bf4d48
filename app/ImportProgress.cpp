#include "ImportProgress.h"

#include "FormLayout.h"
#include "UserDialogs.h"

#include <QCloseEvent>
#include <exception>

ImportProgress::ImportProgress(QWidget* owner, std::chrono::milliseconds showAfter)
    : QWidget(owner, Qt::Dialog) {
    setObjectName(QStringLiteral("ImportProgress"));
    // Closing the main window ends the program, also while this one is shown.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Excel den Yükle"));
    setFont(windowFont());
    setFixedSize(260, 97);
    place(rows_, "ImportRows", 12, 12, 236, 16);
    // The number of rows is not known before the end: the bar only shows
    // that the import is alive.
    place(bar_, "ImportBar", 12, 34, 236, 17);
    bar_.setRange(0, 0);
    bar_.setTextVisible(false);
    place(cancel_, "ImportCancel", 173, 62, 75, 25, QStringLiteral("İptal"));

    stepTimer_.setSingleShot(true);
    stepTimer_.setInterval(0);
    showTimer_.setSingleShot(true);
    showTimer_.setInterval(showAfter);
    connect(&stepTimer_, &QTimer::timeout, this, &ImportProgress::step);
    connect(&showTimer_, &QTimer::timeout, this, &QWidget::show);
    connect(&cancel_, &QPushButton::clicked, this, &ImportProgress::cancel);
}

void ImportProgress::start(std::unique_ptr<SpreadsheetImport> import) {
    import_ = std::move(import);
    rows_.setText(QStringLiteral("0 satır okundu"));
    stepTimer_.start();
    showTimer_.start();
}

void ImportProgress::step() {
    bool finished = false;
    std::exception_ptr failure;
    try {
        finished = import_->step();
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    if (!finished && !failure) {
        rows_.setText(QStringLiteral("%1 satır okundu").arg(import_->rowsRead()));
        stepTimer_.start();
        return;
    }
    const QString text = summary();
    end();
    if (failure) {
        guarded([&failure] { std::rethrow_exception(failure); });
    } else {
        UserDialogs::current().showMessage(text);
    }
}

QString ImportProgress::summary() const {
    QString text = importSummary(import_->counts());
    if (const std::optional<ImportColumns>& columns = import_->columns()) {
        text += QLatin1Char('\n') + columns->summary();
    }
    return text;
}

void ImportProgress::cancel() {
    if (!running()) {
        return;
    }
    const QString text = summary();
    end();
    UserDialogs::current().showMessage(QStringLiteral("İçe aktarma iptal edildi: %1").arg(text));
}

void ImportProgress::closeEvent(QCloseEvent* event) {
    // Closing the window by its frame stops the import like "İptal".
    event->ignore();
    cancel();
}

void ImportProgress::end() {
    stepTimer_.stop();
    showTimer_.stop();
    hide();
    added_ = import_->added();
    import_.reset();
    emit ended();
}
