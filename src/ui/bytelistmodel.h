#pragma once
// A list of raw byte entries, shown decoded with the file's encoding. Entries
// are decoded only when a view asks, so a million sections cost no more than
// their bytes.

#include "document/namelist.h"
#include "platform/textcodec.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QPointer>
#include <string>
#include <vector>

namespace keyloom {

class ByteListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void setEntries(NameList entries, TextCodec codec);
    void setEntries(const std::vector<std::string>& entries, TextCodec codec);
    void clear();
    std::string raw(int row) const { return entries_.at(static_cast<std::size_t>(row)); }
    // The first row whose entry is `bytes`; -1 for none.
    int rowOf(std::string_view bytes) const;
    TextCodec codec() const { return codec_; }
    // The view whose width decides whether a row is shown whole: a row it
    // shows only in part has its whole text as tooltip and accessible
    // description.
    void setView(const QAbstractItemView* view) { view_ = view; }

private:
    NameList entries_;
    QPointer<const QAbstractItemView> view_;
    TextCodec codec_ = TextCodec::Utf8;
};

}  // namespace keyloom
