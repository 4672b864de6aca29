#pragma once

#include "common/ProgressMgr.h"

#include <QPointer>
#include <QStatusBar>

#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class TStatusBar;

// The progress display of a TStatusBar (see ProgressMgr.h). Runs on the GUI thread.
// The bar and a cancel button take the room between the status text and the status
// bar's ProgressRight (the last panel, the version, stays readable): the bar starts 50
// pixels behind the text (no later than 50 pixels before its right end) and ends 5
// pixels before ProgressRight; with a button it is 50 pixels narrower (more when the
// button needs it) and the button sits 3 pixels right of it, 2 pixels from the top and
// the status bar's height - 2 square. They follow the status bar's size.
class TStatusBarProgressView : public TProgressView {
public:
    explicit TStatusBarProgressView(TStatusBar* bar);
    ~TStatusBarProgressView() override;

    std::string StatusText() const override;
    void ShowStatusText(const std::string& text) override;
    void ShowBar(int position) override;
    void SetBarPosition(int position) override;
    void RemoveBar() override;
    void Refresh() override;
    void SetCursor(TProgressCursor cursor) override;

    QProgressBar* Bar() const { return progress_; }
    // The cancel button placed beside the bar (the caller owns it); nullptr: none.
    void SetButton(QWidget* button);
    // Lays the bar and the button out again (the status bar's size changed).
    void Place();

private:
    TStatusBar* bar_;
    QProgressBar* progress_ = nullptr;
    int left_ = 0; // where the text leaves the bar to begin
    QPointer<QWidget> button_;
    // Whether this view has set the application's override cursor. Qt keeps override
    // cursors on a stack; the view keeps at most one entry on it.
    bool cursorSet_ = false;
};

// A status bar of panels laid out left to right, each a label with its own width; the
// last panel reaches to the right edge. In simple mode one simple text replaces all
// panels. A new status bar holds one empty panel, panel 0.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    ~TStatusBar() override;

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    // Adds a panel at the right; returns its index.
    int AddPanel(const QString& text = {}, int width = 50);
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);

    bool SimplePanel() const { return simple_; }
    void SetSimplePanel(bool simple);
    QString SimpleText() const;
    void SetSimpleText(const QString& text);

    // Width of a text in the status bar's font.
    int TextWidth(const QString& text) const;

    // A panel's rectangle in the status bar; empty outside.
    QRect PanelGeometry(int index) const;
    // The right end of the room a progress display may take: the left edge of the last
    // panel while two or more panels show, else the status bar's width.
    int ProgressRight() const;

    // Runs FitStatusPanels again whenever the status bar changes its size.
    void SetKeepLastPanelFitted(bool keep);

    // The progress display; the progress bar while one is shown, else nullptr.
    TStatusBarProgressView& ProgressView() { return *progressView_; }
    QProgressBar* ProgressBar() const { return progressView_->Bar(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Panel {
        QLabel* label;
        int width;
    };
    void LayoutPanels();

    std::vector<Panel> panels_;
    QLabel* simpleLabel_;
    bool simple_ = false;
    bool keepFitted_ = false;
    std::unique_ptr<TStatusBarProgressView> progressView_;
};

// Attaches the progress display of a status bar (nullptr detaches). Call on the GUI
// thread.
void SetProgressStatusBar(TStatusBar* bar);

// With at least two panels: the second-to-last panel takes all the width the others
// leave, so that the last one just fits its text (status bar width - last text width -
// the other panels - 25). The status bar does this again whenever it is resized.
void FitStatusPanels(TStatusBar* bar);
