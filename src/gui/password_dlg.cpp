#include "gui/password_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_units.h"

CPasswordDlg::CPasswordDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("パスワード入力画面"));
    const DialogUnits units(*this);

    mailEdit = new QLineEdit(this);
    mailEdit->setObjectName(QStringLiteral("mailEdit"));
    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    // Today's service takes the browser's session instead of the password; it is as secret.
    sessionEdit = new QLineEdit(this);
    sessionEdit->setObjectName(QStringLiteral("sessionEdit"));
    sessionEdit->setEchoMode(QLineEdit::Password);
    sessionEdit->setPlaceholderText(QStringLiteral("user_session_..."));
    sessionEdit->setToolTip(
        QStringLiteral("ブラウザでログインしたときの user_session Cookie の値\n"
                       "The value of the browser's user_session cookie of nicovideo.jp"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽ"), this), 0, 0);
    fields->addWidget(mailEdit, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"), this), 1, 0);
    fields->addWidget(passwordEdit, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("ｾｯｼｮﾝCookie"), this), 2, 0);
    fields->addWidget(sessionEdit, 2, 1);
    fields->setColumnStretch(1, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addSpacing(units.x(7));
    layout->addLayout(buttons);

    resize(units.x(187), sizeHint().height());
}

void CPasswordDlg::showEvent(QShowEvent* event) {
    mailEdit->setText(QString::fromStdString(mail));
    passwordEdit->setText(QString::fromStdString(password));
    sessionEdit->setText(QString::fromStdString(sessionCookie));
    QDialog::showEvent(event);
}

void CPasswordDlg::accept() {
    mail = mailEdit->text().toStdString();
    password = passwordEdit->text().toStdString();
    // Blanks around a pasted value are never part of it.
    sessionCookie = sessionEdit->text().trimmed().toStdString();
    QDialog::accept();
}
