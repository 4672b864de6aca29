#include "configurator/pages/Zumo7ChannelFrame.h"

TZumo7ChannelFrame::TZumo7ChannelFrame(QTreeWidget* tree, TZumo7Doc* document, TZumo7ChannelKind kind,
                                       QWidget* parent)
    : TGridFrame(tree, document, Zumo7ChannelGridSpec(Zumo7ChannelTable(kind)), parent), document_(document),
      table_(Zumo7ChannelTable(kind))
{
}

std::vector<TGridRow> TZumo7ChannelFrame::GridRows()
{
    return document_ ? Zumo7ChannelRows(*document_, table_) : std::vector<TGridRow>{};
}
