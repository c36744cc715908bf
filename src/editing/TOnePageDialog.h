// The frame the trim and crop dialogs share: a fixed 615 x 435 dialog with one page on the left,
// the source's name above whatever the dialog puts on the right, and "&Default", "Ok" and
// "Cancel" below. Default does what the page's Reset does; closing the window is closing with
// Cancel's clean-up, without Cancel's answer.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quovo {

class TOnePageDialog : public QDialog {
    Q_OBJECT
public:
    virtual void btnResetClick() = 0;
    virtual void btnOkClick() = 0;
    virtual void btnCancelClick() = 0;

    QLabel* lblSourceName = nullptr;
    QPushButton* btnDefault = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    // `caption` is the window's title and its page's; `sourceCaption` labels the source's name.
    TOnePageDialog(const char* name, const char* caption, const char* sourceCaption,
                   QWidget* parent);

    QWidget* Page() const { return page_; }
    QVBoxLayout* Right() const { return right_; }
    // Puts the page, the right side and the button row in place and wires the buttons; called
    // once the dialog's own controls are made.
    void LayOut();

    void closeEvent(QCloseEvent* event) override;
    // Stops what the dialog runs; closing, OK and Cancel all come through here.
    virtual void FormCloseQuery() = 0;

private:
    QWidget* pages_;
    QWidget* page_;
    QVBoxLayout* right_;
};

} // namespace quovo
