#pragma once
// The account dialog: the service account's mail address and password. The caller fills the
// two members before exec() and reads them back only when it returns QDialog::Accepted; "ｷｬﾝｾﾙ"
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

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* mailEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
};
