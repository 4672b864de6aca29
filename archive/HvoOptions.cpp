#include "archive/HvoOptions.h"

#include "platform/Exceptions.h"

#include <string>

namespace {

struct VolumeSizeRow {
    THvoVolumeSize size;
    int64_t bytes;
};

constexpr VolumeSizeRow kVolumeSizes[] = {
    {vs1_44MB, 1457664},     {vs100MB, 104857600}, {vs200MB, 209715200}, {vs250MB, 262144000},
    {vs600MB, 629145600},    {vs650MB, 681574400}, {vs700MB, 734003200}, {vs4700MB, 4928307200},
};

constexpr int64_t kMinCustomVolumeSize = 65536;

} // namespace

THvoPersistent::~THvoPersistent() = default;

void THvoPersistent::Assign(const THvoPersistent& source)
{
    throw platform::EConvertError(std::string("Cannot assign a ") + source.ClassName() + " to a " + ClassName());
}

void THvoOptions::Assign(const THvoPersistent& source)
{
    if (const auto* other = dynamic_cast<const THvoOptions*>(&source)) {
        *this = *other;
        return;
    }
    THvoPersistent::Assign(source);
}

void THvoSpanningOptions::Assign(const THvoPersistent& source)
{
    if (const auto* other = dynamic_cast<const THvoSpanningOptions*>(&source)) {
        *this = *other;
        return;
    }
    THvoPersistent::Assign(source);
}

void THvoSpanningOptions::SetCustomVolumeSize(int64_t value)
{
    customVolumeSize_ = value < kMinCustomVolumeSize ? kMinCustomVolumeSize : value;
}

int64_t THvoSpanningOptions::VolumeSizeLimit(const THvoVolumeNumberInfo& volume) const
{
    if (volume.IsFirst() && FirstVolumeSize > 0) return FirstVolumeSize;
    if (VolumeSize == vsCustom) return customVolumeSize_;
    for (const VolumeSizeRow& row : kVolumeSizes)
        if (row.size == VolumeSize) return row.bytes;
    return -1;
}
