// Where quorvik-info's report goes, and what becomes of the libraries'
// messages: standard output, or a file replaced atomically (node_exporter's
// textfile collector must never see half a file); the messages collected
// while the readings are, and told once each on standard error afterwards.
#pragma once

#include <sys/types.h>

#include <string>

namespace quorvik::info {

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null when they were
// closed), so that no descriptor the libraries open becomes standard output.
// Returns whether standard output was open.
bool keep_standard_descriptors();

// The file that --output replaces, checked and begun before anything is
// collected so that a wrong target costs no second of measuring. The
// temporary file (hidden, in the same directory, without the target's
// suffix) is removed unless commit() renamed it over the target, also when
// SIGTERM, SIGINT or SIGHUP ends the tool before.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Refuses a target that exists and is not a regular file (a device, a
    // FIFO, a directory, or a symlink to one of these); creates the temporary
    // file. False, with the reason in error, when either fails.
    bool open(const std::string& path, std::string& error);

    // Writes text to the temporary file with the replaced file's owner and
    // mode (0644 for a new file: the collector runs as another user), syncs
    // it and renames it over the target, checked once more. False, with the
    // reason in error, when a step fails; the target is then untouched.
    bool commit(const std::string& text, std::string& error);

  private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
};

// Writes text to standard output; false when it could not be written whole.
bool write_stdout(const std::string& text);

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

  private:
    int saved_stdout_ = -1;
    int capture_ = -1;
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
