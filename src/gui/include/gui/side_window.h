#pragma once
// What the two modeless side windows of the main window share ("ダウンロードリスト" and
// "コメント抽出設定"): a tool window owned by the main window that is never destroyed while the
// main window lives. The close box, Escape and Enter (when no button takes it) only hide it and
// tell the owner through closedByUser, so that the owner releases the window's toggle. An edit
// still open in one of its lists is ended with the typed text before the window hides, so that
// nothing typed is lost.
//
// GUI thread only.

#include <QDialog>

class SideWindow : public QDialog {
    Q_OBJECT

public:
    SideWindow(const QString& title, QWidget* owner);

    // Shows or hides the window for its owner's toggle; closedByUser is not emitted.
    void setShown(bool shown);
    // No button of the window is a default button: Enter presses the button that has the focus
    // and otherwise hides the window.
    void setVisible(bool visible) override;

    // Ends the edits still open in the window's lists as Enter would.
    virtual void commitOpenEdits() = 0;

    // Both only hide the window (OK and Cancel of a dialog that is never "done").
    void accept() override;
    void reject() override;

signals:
    // The user hid the window with its own controls.
    void closedByUser();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void hideByUser();
};
