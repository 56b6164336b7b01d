// Standard output that knows whether it was written.
//
// A program that writes its results to standard output must not report success when they were
// lost (a full disk, /dev/full, a closed descriptor). `FileOutput` is a stream buffer on a file
// descriptor that writes with write(2) and keeps the error of the first write that failed, so
// that the reason can be named even when later work has changed errno. It buffers as an
// unsynchronised std::cout does: the bytes go out when the buffer is full and at every flush.
//
//     lvlim::FileOutput buffer(STDOUT_FILENO);
//     std::ostream out(&buffer);
//     ... write to out ...
//     return lvlim::output_status(out, buffer, "lvlim", std::cerr);
#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace lvlim {

class FileOutput : public std::streambuf {
  public:
    explicit FileOutput(int descriptor);
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;
    FileOutput(FileOutput&&) = delete;
    FileOutput& operator=(FileOutput&&) = delete;
    ~FileOutput() override; // writes what is still buffered

    // errno of the first write that failed, 0 while every write has succeeded.
    [[nodiscard]] int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    bool drain(); // writes the buffered bytes; false once a write has failed

    int descriptor_;
    int error_ = 0;
    std::array<char, 1 << 16> buffer_{};
};

// Flushes `out`. When a write to it failed, writes one line
// "<program>: cannot write the results to standard output: <reason>" to `err` and returns the
// exit status 1; otherwise returns 0.
int output_status(std::ostream& out, const FileOutput& buffer, std::string_view program,
                  std::ostream& err);

// For a program that writes through std::cout: flushes it, and when that fails writes
// "<failure>: <reason>" (the reason when errno gives one) to `err` and returns false.
bool flush_standard_output(std::string_view failure, std::ostream& err);

} // namespace lvlim
