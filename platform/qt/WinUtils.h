#pragma once

class QWidget;

// Enables or disables every control inside control (the control itself stays as it
// is), through Qt's enabled inheritance: only the direct child widgets change, and a
// control disabled on its own stays disabled after a disable followed by an enable.
// A disable remembers which direct children were disabled already; the enable that
// follows leaves those disabled. Repeated disables keep the first memory.
void EnableChildren(QWidget* control, bool enabled);
