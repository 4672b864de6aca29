#pragma once

// Constants of the configurator shared with the model.

// The controller models by model code, as the model list shows them.
constexpr int ModelCount = 18;
extern const char* const ModelNames[ModelCount];
