#include "ui/bytelistmodel.h"

namespace keyloom {

int ByteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant ByteListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return decodeText(raw(index.row()), codec_);
    return {};
}

void ByteListModel::setEntries(std::vector<std::string> entries, TextCodec codec)
{
    beginResetModel();
    entries_ = std::move(entries);
    codec_ = codec;
    endResetModel();
}

void ByteListModel::append(std::string entry)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    entries_.push_back(std::move(entry));
    endInsertRows();
}

void ByteListModel::clear() { setEntries({}, codec_); }

}  // namespace keyloom
