#include "gui/comment_dlg.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "comments/user_id_row_edit.h"
#include "gui/dialog_units.h"
#include "gui/in_place_edit_list.h"
#include "platform/local_calendar.h"

namespace {

constexpr int kIdColumnWidth = 215;  // pixels

// The locale's short date, always with the whole year: the period reaches years back.
QString shortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy"))) {
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    }
    return format;
}

QDateEdit* datePicker(const QString& name, QWidget* parent) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(shortDateFormat());
    // The dates a 32-bit time can stand for.
    picker->setDateRange(CCommentDlg::localDateOf(std::numeric_limits<int32_t>::min()),
                         CCommentDlg::localDateOf(std::numeric_limits<int32_t>::max()));
    return picker;
}

QPushButton* button(const char* text, const QString& name, QWidget* parent) {
    auto* pushButton = new QPushButton(QString::fromUtf8(text), parent);
    pushButton->setObjectName(name);
    return pushButton;
}

int32_t rowId(const QTreeWidgetItem& item) {
    return item.data(0, Qt::UserRole).toInt();
}

}  // namespace

CCommentDlg::CCommentDlg(UserIdList& ngList, UserIdList& extractList, QWidget* owner)
    : SideWindow(QString::fromUtf8(kTitle), owner), ngList(ngList), extractList(extractList) {
    setObjectName(QStringLiteral("commentWindow"));
    const DialogUnits units(*this);

    startPicker = datePicker(QStringLiteral("periodStartPicker"), this);
    endPicker = datePicker(QStringLiteral("periodEndPicker"), this);
    const QStringList header{QStringLiteral("ID")};
    ngView = new InPlaceEditList(header, {kIdColumnWidth}, this);
    ngView->setObjectName(QStringLiteral("ngList"));
    extractView = new InPlaceEditList(header, {kIdColumnWidth}, this);
    extractView->setObjectName(QStringLiteral("extractList"));
    QPushButton* ngAdd = button("追加", QStringLiteral("ngAddButton"), this);
    QPushButton* ngDelete = button("削除", QStringLiteral("ngDeleteButton"), this);
    QPushButton* extractAdd = button("追加", QStringLiteral("extractAddButton"), this);
    QPushButton* extractDelete = button("削除", QStringLiteral("extractDeleteButton"), this);

    auto* periodRow = new QHBoxLayout;
    periodRow->setSpacing(units.x(3));
    periodRow->addWidget(new QLabel(QStringLiteral("抽出期間"), this));
    periodRow->addWidget(startPicker, 1);
    periodRow->addWidget(new QLabel(QStringLiteral("～"), this));
    periodRow->addWidget(endPicker, 1);

    // A list under its label, its two buttons at the right below it.
    const auto addList = [&](QVBoxLayout* layout, const char* label, InPlaceEditList* view,
                             QPushButton* add, QPushButton* remove) {
        layout->addWidget(new QLabel(QString::fromUtf8(label), this));
        layout->addWidget(view, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(add);
        buttons->addWidget(remove);
        layout->addLayout(buttons);
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.x(7), units.y(7), units.x(7), units.y(7));
    layout->setSpacing(units.y(3));
    layout->addLayout(periodRow);
    layout->addSpacing(units.y(4));
    addList(layout, "NGID", ngView, ngAdd, ngDelete);
    layout->addSpacing(units.y(4));
    addList(layout, "抽出ID", extractView, extractAdd, extractDelete);

    connect(startPicker, &QDateEdit::dateChanged, this, &CCommentDlg::OnStartDateChanged);
    connect(endPicker, &QDateEdit::dateChanged, this, &CCommentDlg::OnEndDateChanged);
    connect(ngAdd, &QPushButton::clicked, this, [this] { OnAdd(this->ngList, *ngView); });
    connect(ngDelete, &QPushButton::clicked, this, [this] { OnDelete(this->ngList, *ngView); });
    connect(extractAdd, &QPushButton::clicked, this,
            [this] { OnAdd(this->extractList, *extractView); });
    connect(extractDelete, &QPushButton::clicked, this,
            [this] { OnDelete(this->extractList, *extractView); });
    connect(ngView, &InPlaceEditList::labelEditEnded, this,
            [this](QTreeWidgetItem* item, const QString& text, bool cancelled) {
                OnLabelEditEnded(this->ngList, item, text, cancelled);
            });
    connect(extractView, &InPlaceEditList::labelEditEnded, this,
            [this](QTreeWidgetItem* item, const QString& text, bool cancelled) {
                OnLabelEditEnded(this->extractList, item, text, cancelled);
            });

    const int listWidth =
        kIdColumnWidth + 2 * ngView->frameWidth() + ngView->verticalScrollBar()->sizeHint().width();
    for (InPlaceEditList* view : {ngView, extractView}) {
        view->setMinimumSize(listWidth, units.y(44));
    }
    resize(qMax(units.x(175), minimumSizeHint().width()),
           qMax(units.y(232), minimumSizeHint().height()));
}

void CCommentDlg::setPeriod(int32_t start, int32_t end) {
    periodStart = start;
    periodEnd = end;
    const QSignalBlocker blockStart(startPicker);
    const QSignalBlocker blockEnd(endPicker);
    startPicker->setDate(localDateOf(start));
    endPicker->setDate(localDateOf(end));
}

void CCommentDlg::AppendExtractRow(const UserIdEntry& entry) {
    extractView->appendRow({QString::fromStdString(entry.text)}, QVariant(entry.id));
}

void CCommentDlg::AppendNgRow(const UserIdEntry& entry) {
    ngView->appendRow({QString::fromStdString(entry.text)}, QVariant(entry.id));
}

void CCommentDlg::commitOpenEdits() {
    ngView->commitOpenEditor();
    extractView->commitOpenEditor();
}

void CCommentDlg::OnAdd(UserIdList& list, InPlaceEditList& view) {
    // The row becomes an entry only when an ID is typed into it; the counter moves then.
    view.editLabel(view.appendRow({QString()}, QVariant(list.nextId())));
}

void CCommentDlg::OnDelete(UserIdList& list, InPlaceEditList& view) {
    QTreeWidgetItem* item = view.selectedRow();
    if (item == nullptr) {
        return;
    }
    list.remove(rowId(*item));
    delete item;
}

void CCommentDlg::OnLabelEditEnded(UserIdList& list, QTreeWidgetItem* item,
                                   const QString& typedText, bool cancelled) {
    const std::string present = item->text(0).toStdString();
    const std::string typed = typedText.toStdString();
    const UserIdRowEditResult result =
        endUserIdRowEdit(list, UserIdRowEdit{rowId(*item), present, typed, cancelled});
    switch (result.action) {
        case UserIdRowAction::KeepPresentText:
            break;
        case UserIdRowAction::AcceptNewText:
            item->setText(0, typedText);
            item->setData(0, Qt::UserRole, QVariant(result.rowId));
            break;
        case UserIdRowAction::DeleteRow:
            delete item;
            break;
    }
}

void CCommentDlg::OnStartDateChanged(const QDate& date) {
    periodStart = withDate(periodStart, date);
    emit periodStartChanged(periodStart);
}

void CCommentDlg::OnEndDateChanged(const QDate& date) {
    periodEnd = withDate(periodEnd, date);
    emit periodEndChanged(periodEnd);
}

int32_t CCommentDlg::withDate(int32_t time, const QDate& date) {
    std::optional<LocalDateTime> local = localDateTimeOf(time);
    if (!local || !date.isValid()) {
        return time;
    }
    local->year = date.year();
    local->month = date.month();
    local->day = date.day();
    const std::optional<int64_t> moved = unixTimeOfLocal(*local);
    if (!moved) {
        return time;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(*moved, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

QDate CCommentDlg::localDateOf(int32_t time) {
    const std::optional<LocalDateTime> local = localDateTimeOf(time);
    if (!local) {
        return QDate(1970, 1, 1);
    }
    return QDate(local->year, local->month, local->day);
}
