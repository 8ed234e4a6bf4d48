#pragma once

#include "phonebook/SpreadsheetImport.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>

// Runs a spreadsheet import on the user-interface thread, one step at a
// time from the event loop, so that the window repaints, the timer ticks and
// the phone's events go on between steps; nothing here pumps events itself.
// An import that lasts longer than `showAfter` shows this small window: the
// rows read so far and "İptal", which stops the import between two steps,
// keeping every row written. At the end one box says what was done and
// which columns were read, or the error box which row failed.
class ImportProgress : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kShowAfter{500};

    explicit ImportProgress(QWidget* owner, std::chrono::milliseconds showAfter = kShowAfter);

    bool running() const { return import_ != nullptr; }
    void start(std::unique_ptr<SpreadsheetImport> import);
    void cancel(); // "İptal"
    // The rows the import that ended last added, however it ended.
    const std::vector<IdRange>& added() const { return added_; }

signals:
    // Emitted before the closing box is shown.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void step();
    void end();

    // "<summary>" with the columns used on a line of their own.
    QString summary() const;

    std::unique_ptr<SpreadsheetImport> import_;
    std::vector<IdRange> added_;
    QTimer stepTimer_;
    QTimer showTimer_;
    QLabel rows_{this};
    QProgressBar bar_{this};
    QPushButton cancel_{this};
};
