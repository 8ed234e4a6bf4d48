#pragma once

#include "PhonebookView.h"

#include <QAbstractTableModel>

// Shows the phone book view in the grid: four columns, read-only.
class PhonebookModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PhonebookModel(PhonebookView& view, QObject* parent = nullptr);

    static Field fieldOfColumn(int column);
    // True while rows come or go: a grid that moves its current row then
    // follows the model, not the user.
    bool changingRows() const { return changingRows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    PhonebookView& view_;
    // The view changes first and tells afterwards; the model keeps the count
    // it has announced so that the grid sees each change in the right order.
    int rows_;
    bool changingRows_ = false;
};
