#pragma once
// The comment filter window "コメント抽出設定": the posting period of the comments to draw
// ("抽出期間", two date pickers) and the two user ID lists, "NGID" (users whose comments are
// dropped) and "抽出ID" (users whose comments alone are kept), each with "追加" and "削除".
//
// The main window owns the lists and the period; this window edits the lists in place and
// reports every change of a picker at once (periodStartChanged / periodEndChanged). A picker
// changes only the date of its end of the period: the time of day stays what it was.
//
// Rows and entries are tied by the row's item data (Qt::UserRole), the entry's id. "追加" appends
// an empty row carrying the list's nextId() and starts editing it; the end of an edit follows
// endUserIdRowEdit (Escape on a new row removes it, a cleared row goes with its entry, the row
// shows the text as typed while the entry holds it trimmed); "削除" removes the selected row's
// entry and the row.
//
// GUI thread only. The lists must outlive the window.

#include <QDate>
#include <cstdint>

#include "comments/user_id_list.h"
#include "gui/side_window.h"

class InPlaceEditList;
class QDateEdit;
class QPushButton;
class QTreeWidgetItem;

class CCommentDlg : public SideWindow {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "コメント抽出設定";

    CCommentDlg(UserIdList& ngList, UserIdList& extractList, QWidget* owner);

    // The period the pickers show, in seconds since 1970 UTC; emits nothing.
    void setPeriod(int32_t start, int32_t end);

    // A row for an entry of a loaded list, at the end of its list view.
    void AppendExtractRow(const UserIdEntry& entry);
    void AppendNgRow(const UserIdEntry& entry);

    void commitOpenEdits() override;

    // `time` moved to the local calendar date `date`, its local time of day kept, clamped to
    // the 32-bit range. `time` itself when it cannot be converted.
    static int32_t withDate(int32_t time, const QDate& date);
    // The local calendar date of `time`.
    static QDate localDateOf(int32_t time);

signals:
    void periodStartChanged(int32_t start);
    void periodEndChanged(int32_t end);

private:
    void OnAdd(UserIdList& list, InPlaceEditList& view);
    void OnDelete(UserIdList& list, InPlaceEditList& view);
    void OnLabelEditEnded(UserIdList& list, QTreeWidgetItem* item, const QString& typedText,
                          bool cancelled);
    void OnStartDateChanged(const QDate& date);
    void OnEndDateChanged(const QDate& date);

    UserIdList& ngList;
    UserIdList& extractList;
    int32_t periodStart = 0;  // the values the pickers show, with their times of day
    int32_t periodEnd = 0;

    QDateEdit* startPicker = nullptr;
    QDateEdit* endPicker = nullptr;
    InPlaceEditList* ngView = nullptr;
    InPlaceEditList* extractView = nullptr;
};
