#include "configurator/pages/HostPanel.h"

#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/uParamFrame.h"
#include "model/uZumo_Classes.h"

#include <QLayout>
#include <QVBoxLayout>

namespace {

// Lays out the layouts inside a page's widgets, innermost first: a group whose child
// was hidden tells its new size to the layout around it only when its own layout has
// run, which otherwise waits for the event loop.
void ActivateInnerLayouts(QWidget* page)
{
    const QList<QWidget*> widgets = page->findChildren<QWidget*>();
    for (auto it = widgets.crbegin(); it != widgets.crend(); ++it)
        if (QLayout* layout = (*it)->layout()) layout->activate();
}

} // namespace

THostPanel::THostPanel(QWidget* panel) : panel_(panel)
{
    if (!panel_->layout()) (new QVBoxLayout(panel_))->setContentsMargins(0, 0, 0, 0);
}

void THostPanel::Free()
{
    delete page_.data();
    page_ = nullptr;
}

void THostPanel::Host(TParamFrame* page)
{
    Free();
    page_ = page;
    if (!page) return;
    page->setParent(panel_);
    panel_->layout()->addWidget(page);
    page->resize(panel_->width() > 0 ? panel_->width() : page->sizeHint().width(), page->sizeHint().height());
    page->show();
}

void THostPanel::Fit()
{
    if (!page_) {
        panel_->setFixedHeight(0);
        mark_ = 0;
        return;
    }
    ActivateInnerLayouts(page_);
    page_->FitHeight();
    panel_->setFixedHeight(page_->height());
    mark_ = VisibilityMark();
}

bool THostPanel::Refit()
{
    if (!page_ || VisibilityMark() == mark_) return false;
    const int before = panel_->height();
    Fit();
    return panel_->height() != before;
}

uint64_t THostPanel::VisibilityMark() const
{
    // FNV-1a over the hidden flags, in the widgets' fixed order.
    uint64_t mark = 14695981039346656037ull;
    for (const QWidget* w : page_->findChildren<QWidget*>()) {
        mark ^= w->isHidden() ? 1u : 2u;
        mark *= 1099511628211ull;
    }
    return mark;
}

TParamFrame* CreateHostedProtocolPage(const TFrameRegistry* pages, TProtocolPage page, TDevice& device,
                                      QTreeWidget* tree, QWidget* host)
{
    if (!pages || page == TProtocolPage::None || !device.ActiveProtocol()) return nullptr;
    QWidget* made = pages->CreateProtocolPage(static_cast<int>(page), {&device, tree, host});
    auto* frame = qobject_cast<TParamFrame*>(made);
    if (made && !frame) delete made;
    return frame;
}
