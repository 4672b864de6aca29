#include "configurator/pages/FInternalCh.h"

TfrInternalCh::TfrInternalCh(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent)
    : TZumo7ChannelFrame(tree, document, TZumo7ChannelKind::Own, parent)
{
    setObjectName("frInternalCh");
}
