// Running a built program as a process: its standard input from a string or a file, its
// standard output, standard error and exit status back.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

namespace lvlim::test {

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A scratch directory, removed with everything in it at the end of the test.
class Scratch {
  public:
    Scratch() {
        std::string name = testing::TempDir() + "lvlim-test-XXXXXX";
        if (mkdtemp(name.data()) == nullptr) {
            ADD_FAILURE() << "no temporary directory";
        }
        path_ = name;
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    // Writes `text` to the file `name` in the directory and returns its path.
    [[nodiscard]] std::string write(const std::string& name, const std::string& text) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs `program` with the arguments (each passed as one word) and `input` as its standard
// input, or, when `stdin_path` is given, that file (a directory, say). Standard output is
// captured, or, when `stdout_path` is given, goes to that file (/dev/full, say) and `out` of
// the outcome is empty.
inline Outcome run_process(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& input = "", const std::string& stdin_path = "",
                           const std::string& stdout_path = "") {
    const Scratch scratch;
    const std::string in = stdin_path.empty() ? scratch.write("in", input) : stdin_path;
    std::string command = "'" + program + "'";
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    const std::string out = (scratch.path() / "out").string();
    const std::string err = (scratch.path() / "err").string();
    command += " < '" + in + "' > '" + (stdout_path.empty() ? out : stdout_path) + "' 2> '" +
               err + "'";
    const int raw = std::system(command.c_str());
    return {stdout_path.empty() ? read_file(out) : std::string(), read_file(err),
            WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

// The lines of a text, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The words of a command line written with blanks ("-a 0.9 --kind=upper").
inline std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream stream(line);
    for (std::string word; stream >> word;) {
        out.push_back(word);
    }
    return out;
}

} // namespace lvlim::test
