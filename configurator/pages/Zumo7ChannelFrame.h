#pragma once

#include "configurator/rules/ChannelGridRules.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/GridFrame.h"
#include "model/uZumo7.h"

#include <vector>

// The page the Zumo 7 own and DIO channel pages share: one row per record of the
// document's table, the columns of Zumo7ChannelGridSpec for that table
// (configurator/rules/ChannelGridRules.h).
class TZumo7ChannelFrame : public TGridFrame {
    Q_OBJECT
public:
    const TZumo7ChannelTable& Table() const { return table_; }
    TZumo7Doc* Document() const { return document_; }

protected:
    TZumo7ChannelFrame(QTreeWidget* tree, TZumo7Doc* document, TZumo7ChannelKind kind, QWidget* parent = nullptr);

    std::vector<TGridRow> GridRows() override;

private:
    TZumo7Doc* document_;
    const TZumo7ChannelTable& table_;
};

// Registers the page class F (a TZumo7ChannelFrame made from the tree's view, the
// document and the parent) for a kind: over a Zumo 7 document, none for another.
template <class F>
void RegisterZumo7ChannelPage(TFrameRegistry& registry, TFrameKind kind)
{
    RegisterPage<F>(registry, kind, [](const TFrameArgs& a) -> F* {
        auto* document = dynamic_cast<TZumo7Doc*>(a.Document);
        return document ? MakeFrame<F>(a.View, document, a.Parent) : nullptr;
    });
}
