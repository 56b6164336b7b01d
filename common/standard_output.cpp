#include "common/standard_output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace lvlim {

FileOutput::FileOutput(int descriptor) : descriptor_(descriptor) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FileOutput::~FileOutput() {
    drain();
}

bool FileOutput::drain() {
    const char* next = pbase();
    const char* const end = pptr();
    while (error_ == 0 && next < end) {
        const ssize_t written = ::write(descriptor_, next, static_cast<std::size_t>(end - next));
        if (written < 0) {
            if (errno != EINTR) {
                error_ = errno;
            }
        } else if (written == 0) {
            error_ = EIO; // write(2) made no progress on a non-empty request
        } else {
            next += written;
        }
    }
    // Bytes that could not be written are dropped: the stream has failed for good.
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

FileOutput::int_type FileOutput::overflow(int_type c) {
    if (!drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FileOutput::sync() {
    return drain() ? 0 : -1;
}

int output_status(std::ostream& out, const FileOutput& buffer, std::string_view program,
                  std::ostream& err) {
    out.flush();
    if (buffer.error() == 0 && out.good()) {
        return 0;
    }
    err << program << ": cannot write the results to standard output";
    if (buffer.error() != 0) {
        err << ": " << std::strerror(buffer.error());
    }
    err << '\n';
    err.flush();
    return 1;
}

bool flush_standard_output(std::string_view failure, std::ostream& err) {
    errno = 0;
    std::cout.flush();
    if (std::cout) {
        return true;
    }
    const int error = errno;
    err << failure;
    if (error != 0) {
        err << ": " << std::strerror(error);
    }
    err << '\n';
    return false;
}

} // namespace lvlim
