#include "gui/list_dlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <ctime>

#include "gui/dialog_units.h"
#include "gui/download_list_model.h"
#include "gui/in_place_edit_view.h"

namespace {

constexpr int kUrlColumnWidth = 270;         // pixels
constexpr int kRegisteredColumnWidth = 120;  // pixels

}  // namespace

CListDlg::CListDlg(DownloadListModel& model, QWidget* owner)
    : SideWindow(QString::fromUtf8(kTitle), owner), model(model) {
    setObjectName(QStringLiteral("listWindow"));
    const DialogUnits units(*this);

    view = new InPlaceEditView(&model, {kUrlColumnWidth, kRegisteredColumnWidth}, this);
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
    connect(view, &InPlaceEditView::labelEditEnded, this, &CListDlg::OnLabelEditEnded);

    view->setMinimumSize(kUrlColumnWidth + kRegisteredColumnWidth + 2 * view->frameWidth() +
                             view->verticalScrollBar()->sizeHint().width(),
                         units.y(60));
    resize(qMax(units.x(239), minimumSizeHint().width()),
           qMax(units.y(180), minimumSizeHint().height()));
}

void CListDlg::commitOpenEdits() {
    view->commitOpenEditor();
}

void CListDlg::OnAdd() {
    view->editLabel(model.addEmptyRow(std::time(nullptr)));
}

void CListDlg::OnDelete() {
    model.removeRow(view->selectedRow());
}

void CListDlg::OnLabelEditEnded(int row, const QString& typedText, bool cancelled) {
    if (model.endEdit(row, typedText, cancelled, std::time(nullptr))) {
        emit urlQueued();
    }
}
