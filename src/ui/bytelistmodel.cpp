#include "ui/bytelistmodel.h"

#include "ui/wholetext.h"

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
    if ((role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) && view_) {
        const QString whole = cutRowText(*view_, index);
        if (!whole.isEmpty())
            return role == Qt::ToolTipRole ? wholeTextToolTip(whole) : whole;
    }
    return {};
}

void ByteListModel::setEntries(NameList entries, TextCodec codec)
{
    beginResetModel();
    entries_ = std::move(entries);
    codec_ = codec;
    endResetModel();
}

void ByteListModel::setEntries(const std::vector<std::string>& entries, TextCodec codec)
{
    NameList list;
    for (const std::string& entry : entries)
        list.push_back(entry);
    setEntries(std::move(list), codec);
}

void ByteListModel::clear() { setEntries(NameList(), codec_); }

int ByteListModel::rowOf(std::string_view bytes) const
{
    int row = 0;
    for (const std::string& entry : entries_) {
        if (entry == bytes)
            return row;
        ++row;
    }
    return -1;
}

}  // namespace keyloom
