#pragma once
// The account dialog: the service account's mail address and password (the classic protocol's
// login) and the session cookie of today's service. The caller fills the three members before
// exec() and reads them back only when it returns QDialog::Accepted; "ｷｬﾝｾﾙ"
// leaves them as they were, whatever was typed.

#include <QDialog>
#include <string>

class QLineEdit;

class CPasswordDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPasswordDlg(QWidget* parent = nullptr);

    std::string mail;
    std::string password;
    std::string sessionCookie;  // as pasted: the value, user_session=VALUE or a Cookie: line

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* mailEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QLineEdit* sessionEdit = nullptr;
};
