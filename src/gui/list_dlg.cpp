#include "gui/list_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <ctime>
#include <string>

#include "gui/dialog_units.h"
#include "gui/in_place_edit_list.h"
#include "queue/download_row.h"

namespace {

constexpr int kUrlColumnWidth = 270;         // pixels
constexpr int kRegisteredColumnWidth = 120;  // pixels

QVariant tieData(std::optional<int32_t> entryId) {
    return entryId ? QVariant(*entryId) : QVariant();
}

std::optional<int32_t> tieOf(const QTreeWidgetItem& item) {
    const QVariant data = item.data(0, Qt::UserRole);
    if (!data.isValid()) {
        return std::nullopt;
    }
    return data.toInt();
}

}  // namespace

CListDlg::CListDlg(DownloadQueue& queue, QWidget* owner)
    : SideWindow(QString::fromUtf8(kTitle), owner), queue(queue) {
    setObjectName(QStringLiteral("listWindow"));
    const DialogUnits units(*this);

    view = new InPlaceEditList({QStringLiteral("URL"), QStringLiteral("登録日")},
                               {kUrlColumnWidth, kRegisteredColumnWidth}, this);
    view->setObjectName(QStringLiteral("downloadList"));
    auto* add = new QPushButton(QStringLiteral("追加"), this);
    add->setObjectName(QStringLiteral("addButton"));
    auto* remove = new QPushButton(QStringLiteral("削除"), this);
    remove->setObjectName(QStringLiteral("deleteButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
    layout->setSpacing(units.y(4));
    layout->addWidget(view, 1);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &CListDlg::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CListDlg::OnDelete);
    connect(view, &InPlaceEditList::labelEditEnded, this, &CListDlg::OnLabelEditEnded);

    view->setMinimumSize(kUrlColumnWidth + kRegisteredColumnWidth + 2 * view->frameWidth() +
                             view->verticalScrollBar()->sizeHint().width(),
                         units.y(60));
    resize(qMax(units.x(239), minimumSizeHint().width()),
           qMax(units.y(180), minimumSizeHint().height()));
}

void CListDlg::AppendRow(const DownloadEntry& entry) {
    const DownloadRowTexts texts = rowTextsFor(entry);
    view->appendRow({QString::fromStdString(texts.url), QString::fromStdString(texts.registered)},
                    tieData(entry.id));
}

void CListDlg::RemoveRowOf(int32_t entryId) {
    delete view->rowWithData(tieData(entryId));
}

void CListDlg::commitOpenEdits() {
    view->commitOpenEditor();
}

void CListDlg::OnAdd() {
    // No tie yet: the entry is made when a URL is typed, with the time of that moment.
    const QString now = QString::fromStdString(formatRegistrationTime(std::time(nullptr)));
    view->editLabel(view->appendRow({QString(), now}, QVariant()));
}

void CListDlg::OnDelete() {
    QTreeWidgetItem* item = view->selectedRow();
    if (item == nullptr) {
        return;
    }
    deleteDownloadRow(queue, tieOf(*item));
    delete item;
}

void CListDlg::OnLabelEditEnded(QTreeWidgetItem* item, const QString& typedText, bool cancelled) {
    const std::string present = item->text(0).toStdString();
    const std::string typed = typedText.toStdString();
    const DownloadRowEditResult result = endDownloadRowEdit(
        queue, DownloadRowEdit{tieOf(*item), present, typed, cancelled}, std::time(nullptr));
    switch (result.action) {
        case DownloadRowAction::KeepPresentText:
            break;
        case DownloadRowAction::AcceptNewText:
            item->setText(0, typedText);
            item->setData(0, Qt::UserRole, tieData(result.entryId));
            break;
        case DownloadRowAction::DeleteRow:
            delete item;
            break;
    }
    if (result.queued) {
        emit urlQueued();
    }
}
