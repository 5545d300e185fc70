#include "gui/side_window.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {

bool isPlainEnter(const QKeyEvent& event) {
    const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    return enter && (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

SideWindow::SideWindow(const QString& title, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(title);
    setModal(false);
    setSizeGripEnabled(false);
}

void SideWindow::setShown(bool shown) {
    if (!shown) {
        commitOpenEdits();
    }
    setVisible(shown);
}

void SideWindow::setVisible(bool visible) {
    if (visible) {
        for (QPushButton* button : findChildren<QPushButton*>()) {
            button->setAutoDefault(false);
            button->setDefault(false);
        }
    }
    QDialog::setVisible(visible);
}

void SideWindow::accept() {
    hideByUser();
}

void SideWindow::reject() {
    hideByUser();
}

void SideWindow::hideByUser() {
    commitOpenEdits();
    hide();
    emit closedByUser();
}

void SideWindow::keyPressEvent(QKeyEvent* event) {
    // A button that has the focus takes Enter; otherwise Enter hides the window, as Escape
    // does. (A focused list or editor has let the key through to here.)
    if (isPlainEnter(*event)) {
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button != nullptr && button->isEnabled()) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
