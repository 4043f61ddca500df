#pragma once

// Message boxes. Every box of the program goes through ShowMessage, so a test (or the terminal
// front-end) can answer it through a hook instead of a window.

#include <QString>

#include <functional>

class QWidget;

namespace platform {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QWidget* owner = nullptr; // nullptr: the active window of the program, if any
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

using MessageBoxHook = std::function<MessageAnswer(const MessageRequest&)>;

// Shows a modal box and returns the button pressed. Closing the box counts as its
// cancelling button (No for Yes/No). With a hook set, the hook answers instead. Without a hook
// and without a GUI application the box cannot be shown: the text goes to standard error and
// the cancelling answer is returned.
MessageAnswer ShowMessage(const MessageRequest& request);

// Sets the hook (an empty function restores the real boxes); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

} // namespace platform
