#pragma once

#include "configurator/tree/FrameDispatch.h"
#include "configurator/tree/TreeNodes.h"

#include <memory>
#include <string>

class TZumo2Doc;

// The controller models by model code: the document class and the tree builder.

enum class TTreeFamily { Zumo, Zumo7, Dravo, Hask, Grendal };

struct TModelEntry {
    // Makes the model's document, built (its fields read zeros); none for a model
    // whose document this program does not have.
    std::unique_ptr<TZumo2Doc> (*Make)();
    TTreeFamily Family;
};

// The entry of a model code 0..17; none for any other code.
const TModelEntry* ModelEntry(int code);

// The document of a model code with its default contents. A code without a document
// raises "Тип " + name + " не реализован", name being the model list's text.
std::unique_ptr<TZumo2Doc> CreateModelDocument(int code, const std::string& name);

// Runs the builder of a family on an empty tree (the model code picks the Hask
// variant).
void BuildFamilyTree(TTreeFamily family, int modelCode, TBindingTree& tree, TTreeGroups& groups,
                     TZumo2Doc& document);
