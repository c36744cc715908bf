// The dialog service of the windows: message boxes over the given window.
#pragma once

#include "TDialogService.h"

#include <QPointer>
#include <QWidget>

namespace quovo {

class TMessageBoxDialogs : public TDialogService {
public:
    explicit TMessageBoxDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void ShowMessage(const std::string& title, const std::string& text, TMessageIcon icon) override;
    bool AskYesNo(const std::string& title, const std::string& text) override;
    void Beep() override;

private:
    QPointer<QWidget> parent_;
};

} // namespace quovo
