#include "gui/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program_version.h"
#include "gui/dialog_units.h"
#include "gui/program_icon.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("lumivoxのﾊﾞｰｼﾞｮﾝ情報"));
    const DialogUnits units(*this);

    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(32, 32));
    auto* version =
        new QLabel(QStringLiteral("lumivox Version ") + QString::fromUtf8(programVersion()), this);
    version->setObjectName(QStringLiteral("versionText"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addSpacing(units.x(10));
    layout->addWidget(version, 1, Qt::AlignTop);
    layout->addLayout(buttons);

    resize(units.x(235), qMax(units.y(55), sizeHint().height()));
}
