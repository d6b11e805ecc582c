#pragma once
// Where an assembled file's bytes go. The real sink is a new file inside the
// output folder; tests inject sinks that fail.

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>

namespace tav {

class OutputSink {
  public:
    virtual ~OutputSink() = default;
    // Appends all bytes; false when they could not all be written.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // The reason of the last failed write, for the log.
    virtual std::string last_error() const { return {}; }
    // Ends the output; false when data could not reach its destination.
    virtual bool close() { return true; }
    // Ends the output and removes what was written: a file that could not be
    // written whole must not be mistaken for a recovered one.
    virtual void discard() { close(); }
};

// A file created for writing. It must not exist yet: whatever is there (a
// file recovered before, the source, a symbolic link) is left alone.
// Closing reports a failed flush.
class FileSink : public OutputSink {
  public:
    static std::expected<std::unique_ptr<FileSink>, std::string> create(const std::string& path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override;
    std::string last_error() const override { return error_; }
    // Flushes and closes; false when data could not reach the disk.
    bool close() override;
    void discard() override;

  private:
    // The platform's write loop: every byte or false with error_ set.
    bool write_all(std::span<const std::uint8_t> bytes);

    FileSink(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    std::intptr_t handle_ = -1;
    std::string path_;
    std::string error_;
};

}  // namespace tav
