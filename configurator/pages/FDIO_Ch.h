#pragma once

#include "configurator/pages/Zumo7ChannelFrame.h"

// The page of a Zumo 7 document's "DIO" node: its 16 discrete I/O channels, every
// column shown.
class TfrDIOChannel : public TZumo7ChannelFrame {
    Q_OBJECT
protected:
    TfrDIOChannel(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent = nullptr);
};
