#pragma once

// The manual conversion dialog: the user types FFmpeg options and an output extension of their
// own, and the dialog composes them into a manual profile text.

#include "profiles/ManualProfile.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class TfrmManualConvert;
}

namespace kestrine {

// The fields a fresh dialog shows: "-s 320x240 -r 14 -b 50k -ar 22050 -ab 56k -ac 1" and "mov".
ManualProfileFields DefaultManualFields();

// The fields the dialog opens with for the current profile text: the cut of a manual profile
// text, otherwise the defaults.
ManualProfileFields ManualFieldsFor(std::string_view currentProfileText);

// OK is accepted when neither field is empty; blanks count as filled.
bool ManualFieldsAccepted(const QString& commandLine, const QString& extension);

class TfrmManualConvert : public QDialog {
    Q_OBJECT
public:
    // profileText: the main window's profile text, read when the dialog is shown.
    explicit TfrmManualConvert(std::string profileText, QWidget* owner = nullptr);
    ~TfrmManualConvert() override;

    // The composed profile text, as the read-only preview shows it.
    std::string ProfileText() const;

    void FormShow();
    void eCommandLineChange();
    void bOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitExtensionBox();

    std::unique_ptr<Ui::TfrmManualConvert> ui;
    std::string currentProfileText;
    bool prefilled = false;
};

} // namespace kestrine
