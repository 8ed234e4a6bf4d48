#include "ImportUndo.h"

#include "UserDialogs.h"

ImportUndo::ImportUndo(QPushButton& button, PhonebookView& view) : button_(button), view_(view) {
    update();
}

void ImportUndo::remember(std::vector<IdRange> added) {
    added_ = std::move(added);
    update();
}

void ImportUndo::allow(bool allowed) {
    allowed_ = allowed;
    update();
}

void ImportUndo::update() {
    button_.setEnabled(allowed_ && !added_.empty());
}

void ImportUndo::undo() {
    if (!allowed_ || added_.empty()) {
        return;
    }
    view_.database().requireWritable();
    const int present = view_.database().count(added_);
    if (present == 0) {
        added_.clear();
        update();
        UserDialogs::current().showMessage(
            QStringLiteral("Son içe aktarmanın eklediği kişiler artık rehberde yok"));
        return;
    }
    if (!UserDialogs::current().confirmWarning(
            QStringLiteral("Son içe aktarmanın eklediği %1 kişi rehberden silinecek. Silinsin mi?")
                .arg(present))) {
        return;
    }
    const int removed = view_.removeAdded(added_);
    added_.clear();
    update();
    UserDialogs::current().showMessage(QStringLiteral("%1 kişi silindi").arg(removed));
}
