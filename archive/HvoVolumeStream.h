#pragma once

#include "archive/HvoChecksum.h"
#include "archive/HvoStreams.h"

#include <cstdint>

class THvoVolumes;

// The continuation stage of decoding: an entry's bytes read from the archive stream and,
// where a volume of a multi-volume archive ends before them, on from the start of the
// next volume of the entry's volume set (THvoVolumes::OpenVolume, whose cancelled
// request raises native error 45). It holds the stream it reads and the volume that
// stream is. A single-file archive, or a stream that is not the archive stream, is read
// as it is, and nothing of an entry lies beyond the set's last volume.
class THvoVolumeReadStream : public TReadOnlyStream {
public:
    // Reads on from start's position; volume is the volume that start is.
    THvoVolumeReadStream(THvoVolumes& volumes, TStream& start, const THvoVolumeNumberInfo& volume);
    ~THvoVolumeReadStream() override;

    // Up to count bytes; fewer only when a newly opened volume gave none (or a single
    // file ended).
    int64_t Read(void* buffer, int64_t count) override;
    // Moves the stream being read.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    THvoVolumes& volumes_;
    TStream* in_;
    THvoVolumeNumberInfo volume_;
};
