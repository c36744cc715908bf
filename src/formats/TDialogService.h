// The questions and messages the format logic puts to the user. The windows implement this with
// message boxes; tests and the command-line tool answer and record instead.
#pragma once

#include <string>

namespace quovo {

enum class TMessageIcon { None, Information, Warning, Error, Question };

class TDialogService {
public:
    virtual ~TDialogService() = default;
    // A message with an OK button.
    virtual void ShowMessage(const std::string& title, const std::string& text,
                             TMessageIcon icon) = 0;
    // A Yes/No question with a question icon; true for Yes.
    virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
    // The short warning sound of a refused key.
    virtual void Beep() {}
};

} // namespace quovo
