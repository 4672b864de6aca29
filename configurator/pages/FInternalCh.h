#pragma once

#include "configurator/pages/Zumo7ChannelFrame.h"

class TFrameRegistry;

// The page of a Zumo 7 document's "Собственные каналы" node: its 16 own channels, the
// description and the bounce time hidden.
class TfrInternalCh : public TZumo7ChannelFrame {
    Q_OBJECT
protected:
    TfrInternalCh(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent = nullptr);
};

// Registers the page for TFrameKind::InternalChannels: over a Zumo 7 document, none for
// another document.
void RegisterInternalChPage(TFrameRegistry& registry);
