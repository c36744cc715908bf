// Message boxes of the windows: the dialog service the format logic and the windows talk to,
// shown as modal QMessageBox windows over an owner window.
#pragma once

#include "TDialogService.h"

#include <QPointer>
#include <QWidget>

namespace quovo {

class TMessageBoxService : public TDialogService {
public:
    explicit TMessageBoxService(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void ShowMessage(const std::string& title, const std::string& text, TMessageIcon icon) override;
    bool AskYesNo(const std::string& title, const std::string& text) override;
    void Beep() override;

private:
    QPointer<QWidget> owner_;
};

} // namespace quovo
