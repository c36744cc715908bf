#include "TOnePageDialog.h"

#include "DialogButtons.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quovo {

TOnePageDialog::TOnePageDialog(const char* name, const char* caption, const char* sourceCaption,
                               QWidget* parent)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(caption);
    setFixedSize(615, 435);

    auto* pages = new QTabWidget(this);
    page_ = new QWidget;
    page_->setObjectName(QStringLiteral("tab") + caption);
    pages->addTab(page_, caption);
    pages_ = pages;

    right_ = new QVBoxLayout;
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(sourceCaption, this));
    lblSourceName = new QLabel(this);
    lblSourceName->setObjectName("lblSourceName");
    row->addWidget(lblSourceName, 1);
    right_->addLayout(row);
}

void TOnePageDialog::LayOut() {
    TDefaultOkCancel buttons = MakeDefaultOkCancel(this);
    btnDefault = buttons.Default;
    btnOk = buttons.Ok;
    btnCancel = buttons.Cancel;
    btnOk->setText("Ok");
    btnCancel->setText("Cancel");
    auto* top = new QHBoxLayout;
    top->addWidget(pages_, 1);
    top->addLayout(right_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons.Row);

    connect(btnDefault, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TOnePageDialog::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}

} // namespace quovo
