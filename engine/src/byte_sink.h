#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillbox {

// Where a writer puts the archive's bytes.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::string_view bytes) = 0;
};

class StringSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { bytes_.append(bytes); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// The archive file. Writes are gathered into large blocks; the first failed write is kept and
// every later write is dropped, so Close tells whether the whole archive reached the file.
class FileSink final : public ByteSink {
public:
    bool Open(const std::string& narrowPath);
    void Write(std::string_view bytes) override;
    // False when any write or the close itself failed.
    bool Close();
    int LastError() const { return file_.LastError(); }
    bool WriteFailed() const { return failed_; }

private:
    void Flush();

    platform::OutputFile file_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace quillbox
