#include "gui/download_list_model.h"

#include <QBrush>

#include "platform/text_conv.h"
#include "queue/download_row.h"
#include "service/video_id.h"

DownloadListModel::DownloadListModel(DownloadQueue& queue, QObject* parent)
    : QAbstractTableModel(parent), queue_(queue) {}

DownloadListModel::Row DownloadListModel::rowFor(const DownloadEntry& entry) {
    const DownloadRowTexts texts = rowTextsFor(entry);
    return {entry.id, QString::fromStdString(texts.url), QString::fromStdString(texts.registered)};
}

bool DownloadListModel::loadAtStartUp(const std::filesystem::path& file,
                                      bool jobStartedFromCommandLine) {
    beginResetModel();
    const bool takeNow = loadQueueAtStartUp(queue_, file, jobStartedFromCommandLine);
    rows_.clear();
    for (const DownloadEntry& entry : queue_.entries()) {
        rows_.push_back(rowFor(entry));
    }
    endResetModel();
    return takeNow;
}

void DownloadListModel::queueUrl(std::string_view url, int64_t now) {
    const int32_t id = queue_.queueUrl(url, now);
    appendRow(rowFor(*queue_.find(id)));
}

std::optional<DownloadEntry> DownloadListModel::takeNext() {
    std::optional<DownloadEntry> entry = queue_.takeNext();
    if (!entry) {
        return std::nullopt;
    }
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].entryId == entry->id) {
            removeRowAt(static_cast<int>(row));
            break;
        }
    }
    return entry;
}

int DownloadListModel::addEmptyRow(int64_t now) {
    // No tie yet: the entry is made when a URL is typed, with the time of that moment.
    appendRow({std::nullopt, QString(), QString::fromStdString(formatRegistrationTime(now))});
    return static_cast<int>(rows_.size()) - 1;
}

void DownloadListModel::removeRow(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    deleteDownloadRow(queue_, rows_[static_cast<size_t>(row)].entryId);
    removeRowAt(row);
}

bool DownloadListModel::endEdit(int row, const QString& typedText, bool cancelled, int64_t now) {
    if (row < 0 || row >= rowCount()) {
        return false;
    }
    Row& edited = rows_[static_cast<size_t>(row)];
    const std::string present = edited.url.toStdString();
    const std::string typed = typedText.toStdString();
    const DownloadRowEditResult result =
        endDownloadRowEdit(queue_, DownloadRowEdit{edited.entryId, present, typed, cancelled}, now);
    switch (result.action) {
        case DownloadRowAction::KeepPresentText:
            break;
        case DownloadRowAction::AcceptNewText:
            edited.url = typedText;
            edited.entryId = result.entryId;
            emit dataChanged(index(row, 0), index(row, 0));
            break;
        case DownloadRowAction::DeleteRow:
            removeRowAt(row);
            break;
    }
    return result.queued;
}

void DownloadListModel::clear() {
    beginResetModel();
    queue_ = DownloadQueue();
    rows_.clear();
    endResetModel();
}

void DownloadListModel::appendRow(Row row) {
    const int at = rowCount();
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void DownloadListModel::removeRowAt(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DownloadListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

bool DownloadListModel::namesNoVideo(const Row& row) {
    // An empty row is still being typed.
    const std::string text = trimBlanks(row.url.toStdString());
    return !text.empty() && !isVideoAddress(text);
}

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (index.column() == 1 && role == Qt::DisplayRole && namesNoVideo(row)) {
            return QStringLiteral("URLでも動画IDでもありません");
        }
        return index.column() == 0 ? row.url : row.registered;
    }
    if (role == Qt::ForegroundRole && namesNoVideo(row)) {
        return QBrush(Qt::red);
    }
    if (role == Qt::UserRole && index.column() == 0 && row.entryId) {
        return QVariant(*row.entryId);
    }
    return {};
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section == 0 ? QStringLiteral("URL") : QStringLiteral("登録日");
}

Qt::ItemFlags DownloadListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}
