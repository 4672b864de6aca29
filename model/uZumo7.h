#pragma once

#include "model/uZumo2.h"
#include "model/uZumo7_utils.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The Zumo 7 controller: a base-model document that knows its board modification. A
// factory meta record in the image describes the board; the ports follow the board;
// 16 own channels and 16 discrete I/O channels come with it.

// The meta record does not match the board table.
class EMetaStruc : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EMetaStruc() override;
};

// The meta record's board signature is not in the board table.
class EBoardSign : public EMetaStruc {
public:
    using EMetaStruc::EMetaStruc;
    ~EBoardSign() override;
};

// Model code 3, "Zumo7", "Scheme ID:10.0.0.0". The image, from BaseAddress, in this
// order:
//   0xB700, 64 bytes: the meta record (20 bytes), then 44 reserved bytes kept as read;
//   0x0000, 108 bytes: seven port slots of 8 bytes, the common fields at 56,
//     "SchemeID" at 88;
//   0x0200, 14800 bytes: 20 devices, then 20 logical channels;
//   0x7000, 1925 bytes: 50 TIT apertures from 1200, then 50 TIT conversions;
//   0x9000, 704 bytes: 16 own channels "Внутренний_канал_01" .., then 16 DIO channels
//     "DIO_канал_01" .. (20 bytes each), then 64 reserved bytes kept as read.
// The meta record (none of its fields checked against its default):
//   "magic_signature" 11 characters "quorvandell" at 0, "meta_ver" byte 2 at 11, the
//   byte counts "meta_ether_count", "meta_RS232_count", "meta_RS485_count",
//   "meta_InternalDI", "meta_InternalDO" at 12..16, "meta_board_signature" word at 17,
//   "meta_ModemInfo" byte at 19; the counts, signature and modem info default to the
//   board's row.
//
// Port records that a rebuild replaces or removes are not freed but retired: they stay
// valid objects over the same bytes until ReleaseRetiredPorts (or the destructor), so
// that a tree and a page made before the rebuild may still read them.
class TZumo7Doc : public TZumo2Doc {
public:
    ~TZumo7Doc() override;

    const char* ClassName() const override { return "TZumo7Doc"; }

    void Build() override;
    // In this order, the first failing check raising: "magic_signature" not exactly
    // "quorvandell": "Конфигурация не поддерживается(не найдена заводская запись)";
    // "meta_ver" not 1 or 2: "Конфигурация не поддерживается\rОбновите
    // конфигуратор\rmetadata ver error"; an unknown "meta_board_signature": EBoardSign
    // "Возникла ошибка при проверке идентификатора контроллера (<signature>)"; a count
    // other than the board's: EMetaStruc "Возникла ошибка при проверке кол. <ethernet,
    // RS232, RS485, DI or DO> портов". "meta_ModemInfo" is not compared.
    void Validate() override;
    // Empties "magic_signature" and zeroes "meta_ver" and "meta_board_signature", then
    // the base model's import (which refuses a file without the 0xB700 block). A failed
    // import leaves them so.
    bool ImportImage(std::istream& stream) override;
    // "meta_ver" 0: "Контроллер Zumo7 модификация не определена(нет заводской записи)";
    // 1 or 2: the name of the document's board (empty for an unknown one); any other:
    // "Контроллер Zumo7 модификация не поддерживается; meta_ver <v>, board <s>".
    std::string GetCaption() const override;
    // The captions of the ordered port list.
    std::vector<std::string> GetPortNames() const override;
    // The current board: nothing. Another: the meta record filled from its row, then
    // the ports laid out again.
    void SetBoardSignature(int32_t signature) override;
    // Takes the board of the meta record (with that board's meta defaults, and the
    // ports laid out again for it), brings a meta record below version 2 up to 2, then
    // the base model's checks.
    void AfterLoad() override;

    uint16_t BoardSignature() const { return boardSignature_; }

    int InternalChannelCount() const { return static_cast<int>(internalChannels_.size()); }
    TInternalChannel* InternalChannelByIndex(int index) const { return ItemOf(internalChannels_, index); }
    int DioChannelCount() const { return static_cast<int>(dioChannels_.size()); }
    TDIO_Channel* DioChannelByIndex(int index) const { return ItemOf(dioChannels_, index); }

    // The ports of the board in build order; a port index ("002", "003") counts here.
    int PortCount() const { return static_cast<int>(ports_.size()); }
    // None outside the list.
    TUART* PortByIndex(int index) const;

    // Sets the meta defaults from the board's row (an unknown board: all 0), then writes
    // "meta_ver" and every meta field but "magic_signature" with its default.
    void FillMetaFromBoard();
    // A version below 2: "meta_ModemInfo" := the board row's modem info, "meta_ver" := 2.
    void UpgradeMeta(int version);
    // Lays the port slots out again for the current board from the first port's slot.
    // No port: "Конфигурация повреждена\nОшибка получения конфигурации портов".
    void RebuildPorts();

    // Port records retired by rebuilds since the last release.
    int RetiredPortCount() const { return static_cast<int>(retired_.size()); }
    // Frees them; nothing may point at them any more.
    void ReleaseRetiredPorts() { retired_.clear(); }

    // The meta field of a key ("meta_ver" ...).
    TField* MetaField(const char* key) const { return Find<TField>(key); }

protected:
    TZumo7Doc();

    // Seven slots from the layout's offset; the offset ends 56 bytes further in every
    // case. The board's modem kind and the meta record's counts choose each slot's port.
    void BuildPorts(TLayout& layout) override;
    virtual void BuildInternalChannels(TLayout& layout, int count);
    virtual void BuildDioChannels(TLayout& layout, int count);
    // The meta fields, then FillMetaFromBoard.
    virtual void BuildMeta(TLayout& layout);

    // Build steps the variants share: the meta block, the header block and the block
    // of the own and DIO channels (of `size` bytes).
    void BuildMetaBlock();
    void BuildZumo7Header();
    void BuildChannelBlock(int32_t size);

    // Puts the port under the key at the layout's offset and moves the offset on: a
    // record already under the key is retired, and the new one takes its place in the
    // ordered list when it was listed, else it is appended.
    void PutPort(TLayout& layout, const std::string& key, std::unique_ptr<TUART> port);
    // Moves the offset on by one slot and retires the record of the key.
    void SkipPort(TLayout& layout, const std::string& key);

private:
    template <class T>
    static T* ItemOf(const std::vector<T*>& list, int index)
    {
        return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)] : nullptr;
    }
    // Sets the defaults of the board-dependent meta fields from the board's row.
    void SetMetaDefaultsFromBoard();
    void Retire(const std::string& key);
    int32_t MetaValue(const char* key) const;

    uint16_t boardSignature_ = DefaultBoardSignature();
    std::vector<std::pair<std::string, TUART*>> ports_; // caption -> record, not owned
    std::vector<TInternalChannel*> internalChannels_;
    std::vector<TDIO_Channel*> dioChannels_;
    std::vector<std::unique_ptr<TObjNode>> retired_;
};

// A code-3 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo7Doc();

// Whether the document is a Zumo 7 document whose "meta_board_signature" names a modem
// board of the first kind: such boards offer no "COM3" in the tree, the add-device menu
// and the device page. False for any other document and for none.
bool HasModemBoardM1(const TDocument* document);
