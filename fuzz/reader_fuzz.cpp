// Fuzz target for the free-form input record reader.
//
// Reads the bytes as the program's eleven-item record twice, from two different sets of
// values before the read, and traps when an invariant breaks:
//   - the status is one of the ReadStatus values, and the same for both reads;
//   - no item becomes infinite or NaN;
//   - an item either holds the same value after both reads (it was read) or holds its value
//     from before the read in both (it was not); telling them apart relies on the two starting
//     sets differing in every item;
//   - a read that fails leaves the last item alone: the failing item is at or before it;
//   - reading the same bytes again, also through a buffer that hands out one character at a
//     time, gives the same status and values.
#include "driver/free_form_input.hpp"
#include "driver/input_record.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

using lvlim::InputItem;
using lvlim::ReadStatus;

using Record = lvlim::InputRecord;

// A second starting set, different from the defaults in every item.
constexpr Record other_start{.WhichLimit = -7, .alpha = 0.125, .lambda = -3.5, .sigma = 9.0,
                             .nu = 1e10, .mu = -0.0625, .gammasquared = 4.0,
                             .MaximumIterations = 12345, .BesselArgTop = -1.0,
                             .Tolerance = 0.5, .ResultTol = 2.0};

// One item's value, widened for comparison.
double value_of(const InputItem& item) {
    if (const auto* i = std::get_if<int*>(&item)) {
        return static_cast<double>(**i);
    }
    return *std::get<double*>(item);
}

bool is_status(ReadStatus status) {
    switch (status) {
    case ReadStatus::ok:
    case ReadStatus::end_of_input:
    case ReadStatus::bad_value:
    case ReadStatus::out_of_range:
    case ReadStatus::stream_failure:
    case ReadStatus::bad_integer:
        return true;
    }
    return false;
}

ReadStatus read(const std::string& text, Record& record) {
    std::istringstream in(text);
    return lvlim::read_free_form(in, record.items());
}

// Hands out the text one character per refill, as a pipe or terminal may.
class OneByOne : public std::streambuf {
  public:
    explicit OneByOne(const std::string& text) : text_(text) {}

  protected:
    int_type underflow() override {
        if (next_ == text_.size()) {
            return traits_type::eof();
        }
        current_ = text_[next_++];
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

  private:
    const std::string& text_;
    std::size_t next_ = 0;
    char current_ = 0;
};

ReadStatus read_one_by_one(const std::string& text, Record& record) {
    OneByOne buffer(text);
    std::istream in(&buffer);
    return lvlim::read_free_form(in, record.items());
}

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    Record from_defaults;
    const auto status = read(text, from_defaults);
    Record from_other = other_start;
    const auto other_status = read(text, from_other);
    check(is_status(status));
    check(status != ReadStatus::stream_failure); // a string stream never fails
    check(other_status == status);

    Record again;
    check(read_one_by_one(text, again) == status);

    Record start_a;
    Record start_b = other_start;
    const auto a = from_defaults.items();
    const auto b = from_other.items();
    const auto c = again.items();
    const auto before_a = start_a.items();
    const auto before_b = start_b.items();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double va = value_of(a[i]);
        const double vb = value_of(b[i]);
        check(std::isfinite(va) && std::isfinite(vb));
        check(std::signbit(value_of(c[i])) == std::signbit(va) && value_of(c[i]) == va);
        const bool kept = va == value_of(before_a[i]) && vb == value_of(before_b[i]);
        const bool read_alike = va == vb && std::signbit(va) == std::signbit(vb);
        check(kept || read_alike);
    }
    if (status != ReadStatus::ok) {
        const auto last = a.size() - 1;
        check(value_of(a[last]) == value_of(before_a[last]));
        check(value_of(b[last]) == value_of(before_b[last]));
    }
    return 0;
}
