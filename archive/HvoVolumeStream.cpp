#include "archive/HvoVolumeStream.h"

#include "archive/HvoVolumes.h"

#include <algorithm>

THvoVolumeReadStream::THvoVolumeReadStream(THvoVolumes& volumes, TStream& start, const THvoVolumeNumberInfo& volume)
    : volumes_(volumes), in_(&start), volume_(volume)
{
}

THvoVolumeReadStream::~THvoVolumeReadStream() = default;

int64_t THvoVolumeReadStream::Read(void* buffer, int64_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = std::max<int64_t>(in_->Read(out, count), 0);
    // Data of a multi-volume archive goes on at the start of the next volume; nothing of
    // an entry lies beyond the last one.
    while (done < count && volumes_.MultiVolume() && in_ == volumes_.Stream() &&
           (volume_.LastVolumeNumber < 0 || volume_.VolumeNumber < volume_.LastVolumeNumber)) {
        volume_ = THvoVolumeNumberInfo::Of(volume_.VolumeNumber + 1, volume_.LastVolumeNumber);
        volumes_.OpenVolume(volume_);
        in_ = volumes_.Stream();
        in_->SetPosition(0);
        const int64_t got = in_->Read(out + done, count - done);
        if (got <= 0) break;
        done += got;
    }
    return done;
}

int64_t THvoVolumeReadStream::Seek(int64_t offset, TSeekOrigin origin) { return in_->Seek(offset, origin); }
