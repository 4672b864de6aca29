#pragma once

#include "configurator/pages/Zumo7ChannelFrame.h"

class TFrameRegistry;

// The page of a Zumo 7 document's "DIO" node: its 16 discrete I/O channels, every
// column shown.
class TfrDIOChannel : public TZumo7ChannelFrame {
    Q_OBJECT
protected:
    TfrDIOChannel(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent = nullptr);
};

// Registers the page for TFrameKind::DIOChannels: over a Zumo 7 document, none for
// another document.
void RegisterDIOChannelPage(TFrameRegistry& registry);
