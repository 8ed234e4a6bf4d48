#pragma once

#include "phonebook/PhonebookView.h"

#include <QObject>
#include <QPushButton>
#include <vector>

// "Son içe aktarmayı geri al": removes exactly the rows the last import
// added, found by their ids, after one question with their count. The
// button is enabled only while there is such an import, and while no
// import runs; rows of that import deleted since are simply not counted.
// What an import added is kept for the program's run, not in db.mdb.
class ImportUndo : public QObject {
    Q_OBJECT
public:
    ImportUndo(QPushButton& button, PhonebookView& view);

    // The rows an import added (also one stopped or failed half way): they
    // replace those of the import before.
    void remember(std::vector<IdRange> added);
    // Off while an import runs.
    void allow(bool allowed);
    // The button's handler.
    void undo();

private:
    void update();

    QPushButton& button_;
    PhonebookView& view_;
    std::vector<IdRange> added_;
    bool allowed_ = true;
};
