// Where quorvik-info's report goes: standard output, or a file replaced
// atomically (node_exporter's textfile collector must never see half a file).
#pragma once

#include <string>

namespace quorvik::info {

// Writes text to path through a temporary file in the same directory, made
// readable by all (the collector runs as another user), then renamed over
// path. Returns false, with the reason in error, when any step fails; the
// temporary file is then gone and path untouched.
bool write_atomically(const std::string& path, const std::string& text, std::string& error);

// Writes text to standard output; false when it could not be written whole.
bool write_stdout(const std::string& text);

// While alive, the libraries' diagnostics (which they print on standard
// output) go to standard error, so that standard output holds only the report.
class DiagnosticsToStderr {
  public:
    DiagnosticsToStderr();
    ~DiagnosticsToStderr();
    DiagnosticsToStderr(const DiagnosticsToStderr&) = delete;
    DiagnosticsToStderr& operator=(const DiagnosticsToStderr&) = delete;

  private:
    int saved_stdout_ = -1;
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
