#pragma once

#include <memory>
#include <string>

#include "trials/file_sink.h"

namespace kestu::testing {

// Fails like a full disk at its Nth write (counting from 1), after half of
// that write has reached the file; every later write fails too. Syncs can
// be made to fail the same way.
class FailingSink : public FileSink {
public:
    FailingSink(std::unique_ptr<FileSink> inner, int failWrite, bool failSync = false)
        : inner_(std::move(inner)), failWrite_(failWrite), failSync_(failSync)
    {
    }
    bool Write(std::string_view bytes) override
    {
        if (++writes_ < failWrite_ || failWrite_ <= 0) return inner_->Write(bytes);
        if (writes_ == failWrite_) inner_->Write(bytes.substr(0, bytes.size() / 2));
        return false;
    }
    bool Sync() override { return !failSync_ && inner_->Sync(); }
    bool Truncate(long long size) override { return inner_->Truncate(size); }
    bool Close() override { return inner_->Close(); }
    std::string Error() const override { return "No space left on device"; }

private:
    std::unique_ptr<FileSink> inner_;
    int failWrite_;
    bool failSync_;
    int writes_ = 0;
};

inline SinkWrapper FailOnWrite(int n, bool failSync = false)
{
    return [n, failSync](std::unique_ptr<FileSink> inner) -> std::unique_ptr<FileSink> {
        return std::make_unique<FailingSink>(std::move(inner), n, failSync);
    };
}

}  // namespace kestu::testing
