// Questions and notices for the user. Code that only has to show or ask
// something takes a Prompt, so tests can answer it and count what was shown.
#pragma once
#include <windows.h>

#include <string>

namespace pelmora {

class Prompt {
  public:
    virtual ~Prompt() = default;
    // Shows `text` with the message-box buttons and icon in `type` (MB_*) and
    // returns the button chosen (IDOK, IDYES, IDNO, ...).
    virtual int Show(const std::wstring& text, UINT type) = 0;
};

// The platform's message box, captioned "Pelmora".
class MessageBoxPrompt final : public Prompt {
  public:
    explicit MessageBoxPrompt(HWND owner = nullptr) noexcept : owner_(owner) {}
    int Show(const std::wstring& text, UINT type) override;

  private:
    HWND owner_;  // borrowed; may be null
};

// For runs without windows: the text goes to the log, and the answer is the
// one that changes nothing (OK, No or Cancel).
class LogPrompt final : public Prompt {
  public:
    int Show(const std::wstring& text, UINT type) override;
};

}  // namespace pelmora
