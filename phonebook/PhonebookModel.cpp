#include "PhonebookModel.h"

namespace {

struct Column {
    Field field;
    const char* title;
};

constexpr std::array<Column, 4> kColumns{{
    {Field::grup, "GRUP"},
    {Field::adsoyad, "AD SOYAD"},
    {Field::telefon, "TELEFON"},
    {Field::gsm, "OPERATOR"},
}};

} // namespace

PhonebookModel::PhonebookModel(PhonebookView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view), rows_(view.rowCount()) {
    connect(&view_, &PhonebookView::reset, this, [this] {
        changingRows_ = true;
        beginResetModel();
        rows_ = view_.rowCount();
        endResetModel();
        changingRows_ = false;
    });
    connect(&view_, &PhonebookView::rowsInserted, this, [this](int first, int last) {
        changingRows_ = true;
        beginInsertRows({}, first, last);
        rows_ += last - first + 1;
        endInsertRows();
        changingRows_ = false;
    });
    connect(&view_, &PhonebookView::rowRemoved, this, [this](int index) {
        changingRows_ = true;
        beginRemoveRows({}, index, index);
        --rows_;
        endRemoveRows();
        changingRows_ = false;
    });
    connect(&view_, &PhonebookView::rowChanged, this, [this](int index) {
        if (index >= 0) {
            emit dataChanged(this->index(index, 0), this->index(index, columnCount() - 1));
        }
    });
}

Field PhonebookModel::fieldOfColumn(int column) {
    return kColumns.at(static_cast<std::size_t>(column)).field;
}

int PhonebookModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int PhonebookModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kColumns.size());
}

QVariant PhonebookModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= view_.rowCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    return view_.text(index.row(), fieldOfColumn(index.column()));
}

QVariant PhonebookModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return QString::fromLatin1(kColumns.at(static_cast<std::size_t>(section)).title);
    }
    return {};
}
