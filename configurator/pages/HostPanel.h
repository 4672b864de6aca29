#pragma once

#include "configurator/rules/PageRules.h"

#include <QPointer>

#include <cstdint>

class QTreeWidget;
class QWidget;
class TDevice;
class TFrameRegistry;
class TParamFrame;

// A panel of a device page that hosts one page at a time (a role page or a protocol
// page) and keeps the panel at the page's height. The page belongs to the panel.
//
// A hosted page may change its height after it was placed: its rules show or hide a
// group (the Компас route, the DCON relay table, the МКТ-1 words). The device page
// calls Refit on every idle cycle after the hosted page's UpdateControls; it notices
// such a change by the shown or hidden state of the page's widgets and then fits the
// page and the panel again, so that the device page can fit itself and the main window
// take the new height.
class THostPanel {
public:
    // The panel gets a column layout without margins when it has no layout.
    explicit THostPanel(QWidget* panel);

    QWidget* Panel() const { return panel_; }
    TParamFrame* Page() const { return page_.data(); }

    // Frees the page it holds, then holds page (none: the panel stays empty), placed
    // into the panel at the panel's width (or the page's own before the panel has one)
    // and shown. Does not fit: the device page fits its panels together.
    void Host(TParamFrame* page);
    // Frees the page it holds.
    void Free();
    // The page fitted (its FitHeight) and the panel set to its height; 0 without a page.
    void Fit();
    // Fits again when a widget of the page was shown or hidden since the last Fit; true
    // when the panel's height changed then. Cheap when nothing changed.
    bool Refit();

private:
    // The shown or hidden state of every widget of the page, folded into one number.
    uint64_t VisibilityMark() const;

    QWidget* panel_;
    QPointer<TParamFrame> page_;
    uint64_t mark_ = 0;
};

// The protocol page of a kind for a device, made by the registry's factory with host
// as its parent: none for no kind, without a registry or a factory, when the factory
// makes none or makes a widget that is no page (which goes at once), and when the
// device holds no block for its protocol (a page there would bind none of its
// controls: edits would look accepted and never be stored).
TParamFrame* CreateHostedProtocolPage(const TFrameRegistry* pages, TProtocolPage page, TDevice& device,
                                      QTreeWidget* tree, QWidget* host);
