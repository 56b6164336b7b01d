// Where the engine writes its console messages.
//
// The searches of the two-sided limits report what they do as list-directed lines while they
// run, so that the messages precede the result record. They go to standard output unless a
// caller points `engine_messages` elsewhere (tests capture them this way). The pointer is per
// thread, so that parallel runs can keep their messages apart.
#pragma once

#include <iostream>
#include <ostream>

namespace lvlim {

inline thread_local std::ostream* engine_messages = &std::cout;

[[nodiscard]] inline std::ostream& message_stream() { return *engine_messages; }

} // namespace lvlim
