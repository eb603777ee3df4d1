// A bus in front of the simulated one that runs a hook before every read of
// an image pipe, so that a test can act while the readout is between two
// pieces of a frame.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/emul/control.h"

class ImageReadHook : public emu::DeviceBus {
public:
    explicit ImageReadHook(emu::DeviceBus& inner) : inner_(inner) {}

    std::function<void(DWORD asked)> beforeRead;

    std::unique_ptr<emu::DeviceFile> Open(const std::string& name, DWORD* error) override
    {
        std::unique_ptr<emu::DeviceFile> file = inner_.Open(name, error);
        if (file == nullptr || name.size() < 2 || name.compare(name.size() - 2, 2, "\\2") != 0)
            return file;
        return std::make_unique<HookedFile>(std::move(file), this);
    }

    bool Interfaces(const GUID& interfaceClass, std::vector<emu::InterfaceEntry>* out, DWORD* error) override
    {
        return inner_.Interfaces(interfaceClass, out, error);
    }

private:
    class HookedFile : public emu::DeviceFile {
    public:
        HookedFile(std::unique_ptr<emu::DeviceFile> inner, ImageReadHook* hook)
            : inner_(std::move(inner)), hook_(hook)
        {
        }
        bool Read(void* buffer, DWORD size, DWORD* done, DWORD* error) override
        {
            if (hook_->beforeRead)
                hook_->beforeRead(size);
            return inner_->Read(buffer, size, done, error);
        }
        bool Write(const void* buffer, DWORD size, DWORD* done, DWORD* error) override
        {
            return inner_->Write(buffer, size, done, error);
        }

    private:
        std::unique_ptr<emu::DeviceFile> inner_;
        ImageReadHook* hook_;
    };

    emu::DeviceBus& inner_;
};
