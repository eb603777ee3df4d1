#include "sim/sim_file.h"

#include <utility>

#include "sim/sim_camera.h"

namespace sim {

SimFile::SimFile(std::shared_ptr<SimCamera> camera, Endpoint endpoint, uint64_t attachment)
    : camera_(std::move(camera)), endpoint_(endpoint), attachment_(attachment)
{
}

SimFile::~SimFile()
{
    camera_->FileClosed(endpoint_);
}

bool SimFile::Read(void* buffer, DWORD size, DWORD* done, DWORD* error)
{
    return camera_->Read(endpoint_, attachment_, buffer, size, done, error);
}

bool SimFile::Write(const void* buffer, DWORD size, DWORD* done, DWORD* error)
{
    return camera_->Write(endpoint_, attachment_, buffer, size, done, error);
}

DWORD SimFile::ReadTimeout() const
{
    return camera_->ReadTimeout(endpoint_);
}

bool SimFile::ReadReady() const
{
    return ReadableAt() <= emu::Now();
}

uint64_t SimFile::ReadableAt() const
{
    return camera_->ReadableAt(endpoint_, attachment_);
}

std::string SimFile::Identity() const
{
    return camera_->Identity(endpoint_, attachment_);
}

} // namespace sim
