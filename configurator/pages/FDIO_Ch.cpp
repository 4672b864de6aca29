#include "configurator/pages/FDIO_Ch.h"

TfrDIOChannel::TfrDIOChannel(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent)
    : TZumo7ChannelFrame(tree, document, TZumo7ChannelKind::DIO, parent)
{
    setObjectName("frDIOChannel");
}
