// Where quorvik-info's report goes, and what becomes of the libraries'
// messages: standard output, or a file replaced atomically (node_exporter's
// textfile collector must never see half a file); the messages collected
// while the readings are, and told once each on standard error afterwards.
#pragma once

#include <sys/types.h>

#include <string>

#include "fd_io.h"

namespace quorvik::info {

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null when they were
// closed), so that no descriptor the libraries open becomes standard output.
// Returns whether standard output was open.
bool keep_standard_descriptors();

// The file that --output replaces, checked and begun before anything is
// collected so that a wrong target costs no second of measuring. Its
// directory is reached one component at a time without following a symbolic
// link (whoever owns a directory on the way could otherwise send root's
// report anywhere), and the temporary file (hidden, without the target's
// suffix) is made and renamed relative to that directory. It is removed
// unless commit() renamed it over the target, also when a signal (any but
// SIGKILL) or exit() ends the tool before.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Refuses a target that exists and is not a regular file (a device, a
    // FIFO, a directory, or a symlink to one of these) and a directory path
    // through a symbolic link; creates the temporary file. False, with the
    // reason in error, when either fails.
    bool open(const std::string& path, std::string& error);

    // Writes text to the temporary file with the replaced file's owner and
    // mode (0644 for a new file: the collector runs as another user), syncs
    // it and renames it over the target, checked once more. False, with the
    // reason in error, when a step fails; the target is then untouched.
    bool commit(const std::string& text, std::string& error);

  private:
    std::string path_;       // as given, for messages
    std::string name_;       // the target's name in its directory
    std::string temporary_;  // the temporary file's name there
    fd_io::Fd directory_;
    fd_io::Fd file_;
};

// Writes text to standard output (or to fd, standard output set aside);
// false when it could not be written whole.
bool write_stdout(const std::string& text, int fd = 1);

// While alive, what the libraries print on standard output goes to a
// temporary file instead; finish() ends that and returns what they printed.
// Without a temporary file their messages go to standard error as they come.
class LibraryOutput {
  public:
    LibraryOutput();
    ~LibraryOutput();
    LibraryOutput(const LibraryOutput&) = delete;
    LibraryOutput& operator=(const LibraryOutput&) = delete;

    std::string finish();
    // What they printed so far, while their output stays captured (calls
    // that still run may print more).
    std::string printed_so_far() const;
    // Where the tool's own standard output is meanwhile.
    int standard_output() const { return saved_stdout_.valid() ? saved_stdout_.get() : 1; }

  private:
    fd_io::Fd saved_stdout_;
    fd_io::Fd capture_;
};

// A progress line on standard error, only when it is a terminal.
class CpuProgress {
  public:
    CpuProgress();
    void operator()(int done, int total);

  private:
    bool shown_;
    std::size_t width_ = 0;
};

}  // namespace quorvik::info
