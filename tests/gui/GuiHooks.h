#pragma once

// Answers the program's boxes and dialogs for a test, and records what they were asked.

#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <ostream>
#include <vector>

// Readable Qt strings in GoogleTest's messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

class GuiHooks {
public:
    GuiHooks() {
        platform::SetMessageBoxHook([this](const platform::MessageRequest& request) {
            messages.push_back(request);
            if (answers.empty())
                return request.buttons == platform::MessageButtons::YesNo
                           ? platform::MessageAnswer::No
                           : platform::MessageAnswer::Ok;
            const platform::MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        });
        platform::SetOpenFilesHook([this](const platform::OpenFilesRequest& request) {
            fileRequests.push_back(request);
            return pickedFiles;
        });
        platform::SetShellHook([this](const platform::ShellRequest& request) {
            shellRequests.push_back(request);
            return true;
        });
    }
    ~GuiHooks() {
        platform::SetMessageBoxHook({});
        platform::SetOpenFilesHook({});
        platform::SetShellHook({});
    }
    GuiHooks(const GuiHooks&) = delete;
    GuiHooks& operator=(const GuiHooks&) = delete;

    QStringList MessageTexts() const {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.text;
        return texts;
    }

    std::vector<platform::MessageRequest> messages;
    std::deque<platform::MessageAnswer> answers; // then Ok, or No for a question
    std::vector<platform::OpenFilesRequest> fileRequests;
    QStringList pickedFiles; // what the file dialog answers; empty = cancelled
    std::vector<platform::ShellRequest> shellRequests;
};

// Runs action on the modal dialog of type T as soon as it is shown, from the dialog's own event
// loop; the action must close the dialog.
template <typename T>
void OnModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        }
    });
    timer->start();
}
