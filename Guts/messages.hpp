// Where the engine writes its console messages.
//
// The searches of the two-sided limits report what they do as list-directed lines while they
// run. The engine itself writes them nowhere in particular: until a caller points
// `engine_messages` at a stream, they are discarded. The batch program points it at its
// standard output, so that the messages precede the result record there; the public API
// collects them for each call (Limits::messages), and tests capture them the same way. The
// pointer is per thread, so that parallel runs can keep their messages apart.
#pragma once

#include <ostream>

namespace lvlim {

// The stream of the engine's messages on this thread; null discards them.
inline thread_local std::ostream* engine_messages = nullptr;

namespace detail {
// A stream without a buffer: whatever is written to it goes nowhere.
[[nodiscard]] inline std::ostream& discarded_messages() {
    thread_local std::ostream nowhere(nullptr);
    return nowhere;
}
} // namespace detail

[[nodiscard]] inline std::ostream& message_stream() {
    return engine_messages != nullptr ? *engine_messages : detail::discarded_messages();
}

} // namespace lvlim
