#pragma once

// The About window: the program's title, version, copyright, support address and the maker's
// web address, whose link opens the product home page.

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmAbout;
}

namespace kestrine {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* owner = nullptr);
    ~TfrmAbout() override;

    void FormShow();
    void lbEAddressClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmAbout> ui;
};

} // namespace kestrine
