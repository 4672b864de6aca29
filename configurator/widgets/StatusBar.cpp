#include "configurator/widgets/StatusBar.h"


#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr int kBarHeight = 10;
// The bar's least width when a long text leaves it no room; its narrowing for a button.
constexpr int kMinBarWidth = 50;
constexpr int kButtonRoom = 50;

QString ToQ(const std::string& s) { return QString::fromStdString(s); }

} // namespace

// ---- TStatusBarProgressView --------------------------------------------------------

TStatusBarProgressView::TStatusBarProgressView(TStatusBar* bar) : bar_(bar) {}

TStatusBarProgressView::~TStatusBarProgressView()
{
    if (ProgressStatusBar() == this) ::SetProgressStatusBar(static_cast<TProgressView*>(nullptr));
    if (cursorSet_) QApplication::restoreOverrideCursor();
}

std::string TStatusBarProgressView::StatusText() const
{
    return (bar_->SimplePanel() ? bar_->SimpleText() : bar_->PanelText(0)).toStdString();
}

void TStatusBarProgressView::ShowStatusText(const std::string& text)
{
    const QString newText = ToQ(text);
    if (progress_) {
        left_ -= bar_->TextWidth(ToQ(StatusText())) - bar_->TextWidth(newText);
        Place();
    }
    if (bar_->SimplePanel())
        bar_->SetSimpleText(newText);
    else
        bar_->SetPanelText(0, newText);
}

void TStatusBarProgressView::ShowBar(int position)
{
    if (!progress_) {
        progress_ = new QProgressBar(bar_);
        progress_->setTextVisible(false);
    }
    left_ = bar_->TextWidth(ToQ(StatusText())) + 50;
    Place();
    progress_->setRange(0, 100);
    progress_->setValue(position);
    progress_->show();
    progress_->raise();
}

void TStatusBarProgressView::SetButton(QWidget* button)
{
    button_ = button;
    Place();
}

void TStatusBarProgressView::Place()
{
    if (!progress_) return;
    const int buttonSize = std::max(1, bar_->height() - 2);
    const int room = button_ ? std::max(kButtonRoom, 3 + buttonSize) : 0;
    const int right = bar_->ProgressRight() - 5 - room;
    const int left = std::max(0, std::min(left_, right - kMinBarWidth));
    progress_->setGeometry(left, (bar_->height() - kBarHeight) / 2 + 2, std::max(1, right - left), kBarHeight);
    if (button_) button_->setGeometry(progress_->geometry().right() + 1 + 3, 2, buttonSize, buttonSize);
}

void TStatusBarProgressView::SetBarPosition(int position)
{
    if (!progress_) return;
    progress_->setValue(position);
    progress_->update();
}

void TStatusBarProgressView::RemoveBar()
{
    delete progress_;
    progress_ = nullptr;
}

void TStatusBarProgressView::Refresh()
{
    bar_->update();
}

void TStatusBarProgressView::SetCursor(TProgressCursor cursor)
{
    if (cursor == TProgressCursor::Default) {
        if (cursorSet_) QApplication::restoreOverrideCursor();
        cursorSet_ = false;
        return;
    }
    const QCursor shape(cursor == TProgressCursor::HourGlass ? Qt::WaitCursor : Qt::ArrowCursor);
    if (cursorSet_) {
        QApplication::changeOverrideCursor(shape);
    } else {
        QApplication::setOverrideCursor(shape);
        cursorSet_ = true;
    }
}

// ---- TStatusBar ----------------------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent)
    : QStatusBar(parent), simpleLabel_(new QLabel(this)),
      progressView_(std::make_unique<TStatusBarProgressView>(this))
{
    simpleLabel_->setIndent(2);
    simpleLabel_->hide();
    AddPanel();
}

TStatusBar::~TStatusBar()
{
    // The view detaches itself and gives the cursor back while the widgets still exist.
    progressView_.reset();
}

int TStatusBar::AddPanel(const QString& text, int width)
{
    auto* label = new QLabel(text, this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(2);
    label->setVisible(!simple_);
    panels_.push_back({label, std::max(0, width)});
    LayoutPanels();
    return PanelCount() - 1;
}

QString TStatusBar::PanelText(int index) const
{
    return index >= 0 && index < PanelCount() ? panels_[static_cast<size_t>(index)].label->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (index >= 0 && index < PanelCount()) panels_[static_cast<size_t>(index)].label->setText(text);
}

int TStatusBar::PanelWidth(int index) const
{
    return index >= 0 && index < PanelCount() ? panels_[static_cast<size_t>(index)].width : 0;
}

void TStatusBar::SetPanelWidth(int index, int width)
{
    if (index < 0 || index >= PanelCount()) return;
    panels_[static_cast<size_t>(index)].width = std::max(0, width);
    LayoutPanels();
}

void TStatusBar::SetSimplePanel(bool simple)
{
    simple_ = simple;
    simpleLabel_->setVisible(simple);
    for (const auto& p : panels_) p.label->setVisible(!simple);
    LayoutPanels();
}

QString TStatusBar::SimpleText() const
{
    return simpleLabel_->text();
}

void TStatusBar::SetSimpleText(const QString& text)
{
    simpleLabel_->setText(text);
}

int TStatusBar::TextWidth(const QString& text) const
{
    return fontMetrics().horizontalAdvance(text);
}

QRect TStatusBar::PanelGeometry(int index) const
{
    return index >= 0 && index < PanelCount() ? panels_[static_cast<size_t>(index)].label->geometry() : QRect();
}

int TStatusBar::ProgressRight() const
{
    return !simple_ && PanelCount() >= 2 ? PanelGeometry(PanelCount() - 1).x() : width();
}

void TStatusBar::SetKeepLastPanelFitted(bool keep)
{
    keepFitted_ = keep;
}

QSize TStatusBar::sizeHint() const
{
    return {QStatusBar::sizeHint().width(), minimumSizeHint().height()};
}

QSize TStatusBar::minimumSizeHint() const
{
    return {QStatusBar::minimumSizeHint().width(), std::max(19, fontMetrics().height() + 6)};
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    if (keepFitted_) FitStatusPanels(this);  // lays the panels out as well
    LayoutPanels();
}

void TStatusBar::LayoutPanels()
{
    simpleLabel_->setGeometry(0, 0, width(), height());
    int x = 0;
    for (size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        const int w = last ? std::max(panels_[i].width, width() - x) : panels_[i].width;
        panels_[i].label->setGeometry(x, 0, w, height());
        x += w;
    }
    // The progress display keeps clear of the last panel wherever it moves.
    if (progressView_) progressView_->Place();
}

void SetProgressStatusBar(TStatusBar* bar)
{
    SetProgressStatusBar(bar ? static_cast<TProgressView*>(&bar->ProgressView()) : nullptr);
}

void FitStatusPanels(TStatusBar* bar)
{
    const int n = bar->PanelCount();
    if (n < 2) return;
    const int last = bar->TextWidth(bar->PanelText(n - 1));
    int others = 0;
    for (int i = 0; i < n - 2; ++i) others += bar->PanelWidth(i);
    bar->SetPanelWidth(n - 2, bar->width() - last - others - 25);
    bar->SetKeepLastPanelFitted(true);
}
