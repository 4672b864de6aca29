#pragma once

#include "configurator/pages/Zumo7ChannelFrame.h"

// The page of a Zumo 7 document's "Собственные каналы" node: its 16 own channels, the
// description and the bounce time hidden.
class TfrInternalCh : public TZumo7ChannelFrame {
    Q_OBJECT
protected:
    TfrInternalCh(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent = nullptr);
};
