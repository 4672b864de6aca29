#include "archive/Halvorin.h"

std::unique_ptr<THalvorin> THalvorin::Create()
{
    std::unique_ptr<THalvorin> archiver(new THalvorin);
    archiver->Build();
    return archiver;
}

THalvorin::~THalvorin() = default;

void THalvorin::Build()
{
    THvoBaseArchiver::Build();
    zip64Mode_ = zmDisabled;
}

void THalvorin::SetPassword(const std::string& value) { THvoBaseArchiver::SetPassword(value); }

void THalvorin::UpdateCompressionMethod() { compressionMethod_ = CompressionMode() != 0 ? 8 : 0; }
