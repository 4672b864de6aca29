#pragma once
// The library's own error display: where the guards of the library's dialogs report
// an exception that ends in a slot. It is never the host's slot
// (platform::SetApplicationErrorDisplay); until the library sets a display of its own
// it passes every error to platform::ApplicationErrorDisplay().

#include "platform/ErrorDisplay.h"

// The display the library's guards report to; never null.
platform::ErrorDisplay* LibraryErrorDisplay();
// Sets the library's display (nullptr: pass to the application's again); returns the
// one set before, nullptr for passing on. The display must outlive its use.
platform::ErrorDisplay* SetLibraryErrorDisplay(platform::ErrorDisplay* display);
