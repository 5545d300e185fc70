#pragma once
// The download list window "ダウンロードリスト": the queued video page URLs ("URL") with the time
// each was registered ("登録日"), "追加" and "削除".
//
// The main window owns the queue and its model (DownloadListModel); this window shows the model
// and edits it in place. "追加" appends a row with an empty URL and the current time and starts
// editing it; the end of an edit goes to the model (endDownloadRowEdit). When an edit queued a
// URL, urlQueued is emitted: the main window then takes the queue's head when no job runs.
//
// GUI thread only. The model must outlive the window.

#include "gui/side_window.h"

class DownloadListModel;
class InPlaceEditView;

class CListDlg : public SideWindow {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "ダウンロードリスト";

    CListDlg(DownloadListModel& model, QWidget* owner);

    void commitOpenEdits() override;

signals:
    // An edit added an entry or changed one's URL.
    void urlQueued();

private:
    void OnAdd();
    void OnDelete();
    void OnLabelEditEnded(int row, const QString& typedText, bool cancelled);

    DownloadListModel& model;
    InPlaceEditView* view = nullptr;
};
