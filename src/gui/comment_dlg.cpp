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

#include "gui/dialog_units.h"
#include "gui/in_place_edit_view.h"
#include "gui/user_id_list_model.h"
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

}  // namespace

CCommentDlg::CCommentDlg(UserIdListModel& ngModel, UserIdListModel& extractModel, QWidget* owner)
    : SideWindow(QString::fromUtf8(kTitle), owner) {
    setObjectName(QStringLiteral("commentWindow"));
    const DialogUnits units(*this);

    startPicker = datePicker(QStringLiteral("periodStartPicker"), this);
    endPicker = datePicker(QStringLiteral("periodEndPicker"), this);
    ngView = new InPlaceEditView(&ngModel, {kIdColumnWidth}, this);
    ngView->setObjectName(QStringLiteral("ngList"));
    extractView = new InPlaceEditView(&extractModel, {kIdColumnWidth}, this);
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
    const auto addList = [&](QVBoxLayout* layout, const char* label, InPlaceEditView* view,
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
    // Each list's buttons and edits go to its own model.
    const auto wire = [this](UserIdListModel& model, InPlaceEditView* view, QPushButton* add,
                             QPushButton* remove) {
        connect(add, &QPushButton::clicked, this,
                [&model, view] { view->editLabel(model.addEmptyRow()); });
        connect(remove, &QPushButton::clicked, this,
                [&model, view] { model.removeRow(view->selectedRow()); });
        connect(view, &InPlaceEditView::labelEditEnded, this,
                [&model](int row, const QString& text, bool cancelled) {
                    model.endEdit(row, text, cancelled);
                });
    };
    wire(ngModel, ngView, ngAdd, ngDelete);
    wire(extractModel, extractView, extractAdd, extractDelete);

    const int listWidth =
        kIdColumnWidth + 2 * ngView->frameWidth() + ngView->verticalScrollBar()->sizeHint().width();
    for (InPlaceEditView* view : {ngView, extractView}) {
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

void CCommentDlg::commitOpenEdits() {
    ngView->commitOpenEditor();
    extractView->commitOpenEditor();
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
