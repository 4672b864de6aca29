#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TDocument;

// The menu "Добавить устройство" as a model: branches by role, items by port, protocol
// items under them. The window builds its pop-up menu from it.

// One menu item with its sub-items.
class TMenuItem {
public:
    TMenuItem() = default;
    TMenuItem(std::string caption, std::string name, int tag, int imageIndex)
        : Caption(std::move(caption)), Name(std::move(name)), Tag(tag), ImageIndex(imageIndex)
    {
    }
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;

    std::string Caption;
    std::string Name;
    int Tag = 0;
    int ImageIndex = -1;
    bool Enabled = true;
    // Port items and their protocol items: the index of the port among the document's
    // port names; -1 elsewhere.
    int PortIndex = -1;
    // A click adds a device (the protocol items).
    bool AddsDevice = false;

    TMenuItem* Parent() const { return parent_; }
    int Count() const { return static_cast<int>(items_.size()); }
    // The sub-item at a position; none outside.
    TMenuItem* Item(int index) const;
    // The first sub-item of a caption; none when there is none.
    TMenuItem* Find(const std::string& caption) const;
    // Appends a sub-item and returns it.
    TMenuItem* Add(std::string caption, std::string name = {}, int tag = 0, int imageIndex = -1);
    void Clear() { items_.clear(); }

private:
    TMenuItem* parent_ = nullptr;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

// The branch tags: the role a device added from the branch gets.
constexpr int RolePU = 1;
constexpr int RoleKP = 0;

// Empties the menu item, then adds the branches "ПУ" (tag 1, "miPU") with the
// document's ПУ protocols and "КП" (tag 0, "miKP") with its КП protocols. Without a
// document the menu stays empty. A Zumo 7 document on a modem board of the first kind
// has its "COM3" item disabled.
void BuildAddDeviceMenu(TMenuItem& menu, const TDocument* document);

// For every port name i: "USB" a disabled item without sub-items; an empty name no
// item; any other name an item named "Port" + i carrying i, with a protocol item for
// every protocol index p of the mask: "Протокол " + its name ("/ТМ 120" appended to
// the Kompas item of the "КП" branch), tag p. The port named disabledPort (none when
// empty) gets a disabled item without sub-items.
void AddPortProtocolItems(TMenuItem& branch, const std::vector<std::string>& portNames, uint32_t mask,
                          const std::string& disabledPort = {});
