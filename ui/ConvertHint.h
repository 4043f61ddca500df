#pragma once

// The progress window: converts one batch of input files one after another with the program's
// conversion process, shows the file in work, a bar, two times and "(n/m)" in its caption, and
// collects the names of the files that failed.

#include "engine/BatchQueue.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfrmConvert;
}

namespace kestrine {

class ISettingsView;
class TConvertProcess;
struct TProcessInfo;

class TfrmConvert : public QDialog {
    Q_OBJECT
public:
    // Modal results: closed after the last file or from the title bar, or ended by "Stop".
    static constexpr int kResultCancel = 2;
    static constexpr int kResultAbort = 3;

    // mainWindow tells, at every file start, whether outputs go beside their inputs and the
    // output folder's text; process converts the files. Both outlive this window.
    TfrmConvert(QWidget* owner, const ISettingsView& mainWindow, TConvertProcess& process,
                std::vector<std::string> files);
    ~TfrmConvert() override;

    // Set by the creator before showing.
    std::string Ext;
    std::string Params;
    std::string FFmpegPath;
    bool UseDefaultFFmpeg = true;

    // The input names of the failed files, each followed by ", "; read after the window closed.
    const std::string& FailedList() const { return queue.FailedList; }
    const TBatchQueue& Queue() const { return queue; }

    void done(int result) override;
    void reject() override;

public slots:
    void bStopClick();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void FormClose();
    // Starts the file at the queue's index; raises what the conversion process raises.
    void StartStep();
    void WMConvertInfo(const TProcessInfo& info);

    std::unique_ptr<Ui::TfrmConvert> ui;
    const ISettingsView& mainWindow;
    TConvertProcess& process;
    TBatchQueue queue;
    bool shown = false;
    // Set once the batch has ended (last file, "Stop" or a close): any notice that still
    // arrives belongs to a finished batch and is dropped.
    bool batchOver = false;
};

} // namespace kestrine
