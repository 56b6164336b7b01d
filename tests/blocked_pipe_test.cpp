// A program stopped while its standard output is a full pipe (a slow reader): SIGINT or SIGTERM
// arrives while a write is blocked, then the reader drains the pipe. An interrupted write is not
// a failed one: lvlim-table finishes the row it was writing and ends with 128 + the signal, its
// output a prefix of the complete table in whole rows; lvlim and lvlim-data, which do not catch
// the signals, end by the signal itself, never with the status of a write error.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.hpp"

#if !defined(LVLIM_EXE) || !defined(LVLIM_TABLE_EXE) || !defined(LVLIM_DATA_EXE)
#error "LVLIM_EXE, LVLIM_TABLE_EXE and LVLIM_DATA_EXE must name the programs under test"
#endif

namespace lvlim {
namespace {

// A program writing into a pipe that nobody reads until drain() is called.
class PipedChild {
  public:
    // Starts `program arguments < input`. With `prefilled`, the pipe is filled to capacity
    // first, so that the program's first write blocks.
    PipedChild(const test::Scratch& scratch, const std::string& program,
               const std::vector<std::string>& arguments, const std::string& input,
               bool prefilled) {
        const std::string in = scratch.write("in", input);
        const std::string err = (scratch.path() / "err").string();
        err_path_ = err;
        int ends[2] = {-1, -1};
        EXPECT_EQ(pipe(ends), 0);
        read_end_ = ends[0];
        capacity_ = fcntl(read_end_, F_GETPIPE_SZ);
        if (prefilled) {
            fcntl(ends[1], F_SETFL, O_NONBLOCK);
            const std::string block(4096, '#');
            for (ssize_t put = 0; put >= 0;) {
                put = write(ends[1], block.data(), block.size());
                prefill_ += put > 0 ? static_cast<std::size_t>(put) : 0;
            }
            fcntl(ends[1], F_SETFL, 0);
        }
        pid_ = fork();
        if (pid_ == 0) {
            const int in_fd = open(in.c_str(), O_RDONLY);
            const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in_fd, STDIN_FILENO);
            dup2(ends[1], STDOUT_FILENO);
            dup2(err_fd, STDERR_FILENO);
            close(ends[0]);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : arguments) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(ends[1]);
    }
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;
    ~PipedChild() {
        if (read_end_ >= 0) {
            close(read_end_);
        }
    }

    // Waits (a minute at most) until the pipe is full and the program sleeps in its write.
    [[nodiscard]] bool blocked() const {
        for (int wait = 0; wait < 600; ++wait) {
            int queued = 0;
            ioctl(read_end_, FIONREAD, &queued);
            if (queued >= capacity_ && sleeping()) {
                // Once more after a pause: still asleep, the write has blocked.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return sleeping();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void signal(int number) const { kill(pid_, number); }

    // Reads the pipe to its end; what the program wrote, without the prefill.
    [[nodiscard]] std::string drain() {
        std::string out;
        char buffer[1 << 16];
        for (ssize_t got = 0; (got = read(read_end_, buffer, sizeof buffer)) != 0;) {
            if (got > 0) {
                out.append(buffer, static_cast<std::size_t>(got));
            }
        }
        close(read_end_);
        read_end_ = -1;
        return out.substr(prefill_);
    }

    // The raw wait status.
    [[nodiscard]] int wait_status() const {
        int status = 0;
        waitpid(pid_, &status, 0);
        return status;
    }
    [[nodiscard]] std::string err() const { return test::read_file(err_path_); }

  private:
    // The process state in /proc: 'S' while it sleeps.
    [[nodiscard]] bool sleeping() const {
        const std::string stat = test::read_file("/proc/" + std::to_string(pid_) + "/stat");
        const auto state = stat.rfind(") ");
        return state != std::string::npos && stat.size() > state + 2 && stat[state + 2] == 'S';
    }

    pid_t pid_ = -1;
    int read_end_ = -1;
    int capacity_ = 0;
    std::size_t prefill_ = 0;
    std::string err_path_;
};

TEST(BlockedPipe, TableStopsAfterAWholeRow) {
    // Cheap cells, far more bytes than a pipe holds. Only a window of cells runs ahead of the
    // row being written, so the table is still being computed when the write blocks.
    const std::vector<std::string> arguments = {"-s", "0.001:0.002:100", "-n", "2:3:100", "-j2"};
    const test::Outcome whole = test::run_process(LVLIM_TABLE_EXE, arguments);
    ASSERT_EQ(whole.status, 0) << whole.err;
    for (const std::string format : {"csv", "text"}) {
        for (const int number : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(format + " signal " + std::to_string(number));
            const test::Outcome complete =
                format == "csv"
                    ? whole
                    : test::run_process(LVLIM_TABLE_EXE, {"-s", "0.001:0.002:100", "-n", "2:3:100",
                                                          "-j2", "-f", "text"});
            std::vector<std::string> run_arguments = arguments;
            run_arguments.insert(run_arguments.end(), {"-f", format});
            const test::Scratch scratch;
            PipedChild child(scratch, LVLIM_TABLE_EXE, run_arguments, "", false);
            ASSERT_TRUE(child.blocked());
            child.signal(number);
            // The reader catches up only after the signal.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const std::string out = child.drain();
            const int status = child.wait_status();
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 128 + number) << child.err();
            EXPECT_EQ(child.err().find("cannot write"), std::string::npos) << child.err();
            ASSERT_FALSE(out.empty());
            EXPECT_EQ(out.back(), '\n') << "only whole rows";
            EXPECT_LT(out.size(), complete.out.size()) << "stopped before the end";
            EXPECT_EQ(complete.out.substr(0, out.size()), out);
        }
    }
}

// lvlim and lvlim-data catch no signal: the signal ends them, and what reached the pipe is a
// prefix of what they write.
TEST(BlockedPipe, OtherProgramsEndByTheSignal) {
    struct Case {
        const char* what;
        const char* program;
        std::vector<std::string> arguments;
        const char* input;
    };
    const Case cases[] = {
        {"lvlim", LVLIM_EXE, {}, "3 0.95 0.5 1.2 20 3.1 21 /\n"},
        {"lvlim-data",
         LVLIM_DATA_EXE,
         {"--format=csv", "-c", "0.9,0.95,0.99"},
         "2.5 4 7.25 3.5 12 1.5\n"},
    };
    for (const Case& c : cases) {
        const test::Outcome complete = test::run_process(c.program, c.arguments, c.input);
        ASSERT_EQ(complete.status, 0) << complete.err;
        for (const int number : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(c.what) + " signal " + std::to_string(number));
            const test::Scratch scratch;
            PipedChild child(scratch, c.program, c.arguments, c.input, true);
            ASSERT_TRUE(child.blocked());
            child.signal(number);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const std::string out = child.drain();
            const int status = child.wait_status();
            ASSERT_TRUE(WIFSIGNALED(status))
                << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << ": "
                << child.err();
            EXPECT_EQ(WTERMSIG(status), number);
            EXPECT_EQ(child.err(), complete.err);
            EXPECT_EQ(complete.out.substr(0, out.size()), out);
        }
    }
}

} // namespace
} // namespace lvlim
