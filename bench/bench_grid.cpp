// The grid framework's budgets, offscreen, on a grid page over a synthetic table far
// larger than any model's (10,000 records; the largest real grid has 80 rows), so that
// anything that grows with the table shows:
//   - from making the page to the grid painted, its columns fitted to every row's texts
//     (budget 100 ms);
//   - a 1,000-row fill of one column through the store routine, with the repaint
//     (budget 200 ms).
//
//   bench_grid [runs [records]]
//
// runs: how many times each is timed on a fresh page (default 7); each run and the
// median are printed. records: the table's size (default 10000).

#include "configurator/widgets/GridFrame.h"
#include "model/Memory.h"
#include "model/uDocument.h"
#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// A record as a device's channel block lays it out: start, count, VAK, type, format.
const TLayoutRow kBlockRows[] = {
    {.Key = "0001", .Offset = 0, .Type = ftLongWord},
    {.Key = "0002", .Offset = 4, .Type = ftWord},
    {.Key = "0003", .Offset = 6, .Type = ftLongWord},
    {.Key = "0004", .Offset = 10, .Type = ftByte, .Default = 255},
    {.Key = "0005", .Offset = 11, .Type = ftByte},
};
constexpr int32_t kBlockSize = 12;

class TBlock : public TFieldLst {
public:
    void Build() override { LayOutTable(*this, kBlockRows); }

protected:
    TBlock(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

const TPickList& Kinds()
{
    static const TPickList kinds = {{"Нет", 255}, {"ТС", 0}, {"ТИТ", 1}, {"ТИИ", 2}, {"ТУ", 3}};
    return kinds;
}

std::string KindName(const TGridRow& row)
{
    const int i = PickIndexOf(Kinds(), row.Record->Find<TField>("0004")->GetValue().ToInt64());
    return i < 0 ? "нет" : Kinds()[static_cast<size_t>(i)].first;
}

// Spins, a combo with texts of its own, a static prefix and a grey rule, as the
// channel grids have them.
TGridSpec BenchSpec()
{
    const auto bound = [](int index) { return TFieldRef::ByIndex(index); };
    const auto grey = [](const TGridRow& row) {
        TCellLook look;
        if (row.Record->Find<TField>("0002")->GetValue().ToInt64() == 0) look.Text = TRgb{166, 166, 166};
        look.Static = TRgb{192, 192, 192};
        return look;
    };
    TGridSpec spec;
    spec.Columns = {
        {.Caption = "Начальный адрес", .Align = TCellAlign::Center, .MinWidth = 110, .EditField = bound(0),
         .CommandField = bound(0), .Look = grey, .Editor = {.Kind = TEditorKind::Spin},
         .CtrlStep = CappedStep(2147483647), .Fills = true, .DigitEdits = true, .SortByValue = true},
        {.Caption = "Кол-во", .Align = TCellAlign::Center, .MinWidth = 50, .EditField = bound(1),
         .CommandField = bound(1), .Look = grey, .Editor = {.Kind = TEditorKind::Spin, .Maximum = 65535},
         .CtrlStep = CappedStep(65535), .Fills = true, .DigitEdits = true, .SortByValue = true},
        {.Caption = "ВАК", .Align = TCellAlign::Center, .MinWidth = 50, .EditField = bound(2), .CommandField = bound(2),
         .Look = grey, .Editor = {.Kind = TEditorKind::Spin}, .CtrlStep = CappedStep(16777215), .Fills = true,
         .DigitEdits = true, .SortByValue = true},
        {.Caption = "Тип", .Align = TCellAlign::Center, .MinWidth = 50, .EditField = bound(3), .CommandField = bound(3),
         .Text = KindName, .Look = grey,
         .Editor = {.Kind = TEditorKind::Combo, .Items = [](const TGridRow&) { return Kinds(); }}},
        {.Caption = "Описание", .Align = TCellAlign::Right, .MinWidth = 100, .EditField = bound(4),
         .CommandField = bound(4), .StaticText = [](const TGridRow&) { return std::string("Формат данных: "); },
         .Look = grey, .Editor = {.Kind = TEditorKind::Spin, .Maximum = 255}},
    };
    spec.Commands.HeaderSort = true;
    return spec;
}

class TBenchGridPage : public TGridFrame {
protected:
    TBenchGridPage(std::vector<std::unique_ptr<TBlock>>& blocks, QWidget* parent)
        : TGridFrame(nullptr, nullptr, BenchSpec(), parent), blocks_(blocks)
    {
    }
    std::vector<TGridRow> GridRows() override
    {
        return RecordRows(static_cast<int>(blocks_.size()),
                          [this](int i) -> TFieldLst* { return blocks_[static_cast<size_t>(i)].get(); });
    }

private:
    std::vector<std::unique_ptr<TBlock>>& blocks_;
};

// Counts the paints of a widget.
class TPaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++Paints;
        return QObject::eventFilter(watched, event);
    }
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int records = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 10000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The table, with values of every width.
    TMemoryBlock memory(0, kBlockSize * records);
    std::vector<std::unique_ptr<TBlock>> blocks;
    blocks.reserve(static_cast<size_t>(records));
    for (int i = 0; i < records; ++i) {
        blocks.push_back(MakeList<TBlock>("block", &memory, kBlockSize * i));
        TBlock& b = *blocks.back();
        b.Find<TField>("0001")->SetValue(int32_t{i * 37});
        b.Find<TField>("0002")->SetValue(int32_t{i % 97});
        b.Find<TField>("0003")->SetValue(int32_t{(i * 7919) % 16777216});
        b.Find<TField>("0004")->SetValue(int32_t{i % 5 == 4 ? 255 : i % 4});
        b.Find<TField>("0005")->SetValue(int32_t{(i * 16) % 256});
    }

    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    window.resize(1000, 700);
    window.show();
    qttest::PumpUntil([&] { return window.isVisible(); });

    int result = 0;
    std::vector<double> shows, fills;
    for (int run = 0; run < runs && result == 0; ++run) {
        TPaintCounter counter;
        const auto start = Clock::now();
        auto* page = MakeFrame<TBenchGridPage>(blocks, &window);
        page->vtGrid->viewport()->installEventFilter(&counter);
        column->addWidget(page);
        page->show();
        const bool painted = qttest::PumpUntil([&] { return counter.Paints > 0; });
        const double show = Ms(start);
        if (!painted || page->Model()->rowCount() != records) {
            std::fprintf(stderr, "the grid did not show its %d rows\n", records);
            result = 1;
        }

        // 1,000 rows of the first column from row 0, then until the grid has painted.
        page->FocusCell(0, 0);
        QApplication::processEvents();
        const int before = counter.Paints;
        const auto fillStart = Clock::now();
        page->Controller().FillColumn(1000000, 1000, 3);
        const bool repainted = qttest::PumpUntil([&] { return counter.Paints > before; });
        const double fill = Ms(fillStart);
        if (!repainted || blocks[999]->Find<TField>("0001")->GetValue().ToInt64() != 1000000 + 999 * 3 ||
            blocks[1000]->Find<TField>("0001")->GetValue().ToInt64() != 1000 * 37) {
            std::fprintf(stderr, "the fill did not store 1,000 rows\n");
            result = 1;
        }
        shows.push_back(show);
        fills.push_back(fill);
        std::printf("run %d: shown with columns fitted %8.3f ms, 1,000-row fill with repaint %8.3f ms\n", run + 1, show,
                    fill);
        page->vtGrid->viewport()->removeEventFilter(&counter);
        delete page;
        QApplication::processEvents();
    }
    if (!shows.empty()) {
        std::printf("grid page over %d records, median of %zu runs:\n", records, shows.size());
        std::printf("  shown with its columns fitted : %8.3f ms (budget 100 ms)\n", Median(shows));
        std::printf("  1,000-row fill with repaint   : %8.3f ms (budget 200 ms)\n", Median(fills));
    }
    return result;
}
