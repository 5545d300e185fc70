#pragma once
// The comment filter window "コメント抽出設定": the posting period of the comments to draw
// ("抽出期間", two date pickers) and the two user ID lists, "NGID" (users whose comments are
// dropped) and "抽出ID" (users whose comments alone are kept), each with "追加" and "削除".
//
// The main window owns the lists with their models (UserIdListModel) and the period; this window
// shows the models and edits them in place, and reports every change of a picker at once
// (periodStartChanged / periodEndChanged). A picker changes only the date of its end of the
// period: the time of day stays what it was.
//
// "追加" appends an empty row and starts editing it; the end of an edit goes to the list's model
// (endUserIdRowEdit: Escape on a new row removes it, a cleared row goes with its entry, the row
// shows the text as typed while the entry holds it trimmed); "削除" removes the selected row
// with its entry.
//
// GUI thread only. The models must outlive the window.

#include <QDate>
#include <cstdint>

#include "gui/side_window.h"

class InPlaceEditView;
class QDateEdit;
class UserIdListModel;

class CCommentDlg : public SideWindow {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "コメント抽出設定";

    CCommentDlg(UserIdListModel& ngModel, UserIdListModel& extractModel, QWidget* owner);

    // The period the pickers show, in seconds since 1970 UTC; emits nothing.
    void setPeriod(int32_t start, int32_t end);

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
    void OnStartDateChanged(const QDate& date);
    void OnEndDateChanged(const QDate& date);

    int32_t periodStart = 0;  // the values the pickers show, with their times of day
    int32_t periodEnd = 0;

    QDateEdit* startPicker = nullptr;
    QDateEdit* endPicker = nullptr;
    InPlaceEditView* ngView = nullptr;
    InPlaceEditView* extractView = nullptr;
};
