#pragma once

#include "configurator/tree/FrameDispatch.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <utility>

// Pages on widgets as the document tree holds them.

// The lowest bottom edge of a page's visible direct children, in the page's
// coordinates; 0 without one. Below it the page holds only its trailing margin.
int PageContentBottom(const QWidget* page);

// Repaints a page and every scrolling view in it (grids that read their cells when
// they paint).
void RepaintPage(QWidget* page);

// Holds a page widget: the page goes (at once) with the holder. F has RefreshAll()
// and UpdateControls(); a page that is an IRecordSelector or an IRecordsView is used
// as one.
template <class F>
class TQtFrame : public TShownFrame {
public:
    explicit TQtFrame(F* page) : page_(page) {}
    ~TQtFrame() override { delete page_.data(); }

    QWidget* Widget() const override { return page_.data(); }
    F* Page() const { return page_.data(); }

    void RefreshAll() override
    {
        if (page_) page_->RefreshAll();
    }
    void RecordsChanged() override
    {
        if (auto* view = dynamic_cast<IRecordsView*>(page_.data()))
            view->RecordsChanged();
        else if (page_)
            RepaintPage(page_.data());
    }
    void UpdateControls() override
    {
        if (page_) page_->UpdateControls();
    }
    IRecordSelector* RecordSelector() override { return dynamic_cast<IRecordSelector*>(page_.data()); }

private:
    QPointer<F> page_;
};

// Registers a page factory: make(args) builds the page (with args.Parent as its
// parent) or gives none.
template <class F, class Make>
void RegisterPage(TFrameRegistry& registry, TFrameKind kind, Make make)
{
    registry.Register(kind, [make = std::move(make)](const TFrameArgs& args) -> std::unique_ptr<TShownFrame> {
        F* page = make(args);
        if (!page) return nullptr;
        return std::make_unique<TQtFrame<F>>(page);
    });
}
