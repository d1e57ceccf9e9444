// The SMI command port's I/O permission inside the library: what the calling
// thread holds through SmbxInit, and the bracket that identification and the
// sensor dispatch put around their work.
#pragma once

namespace quorvik::smi {

// The calling thread raised the permission with SmbxInit and has not dropped
// it with SmbxExit since. Linux keeps the permission per thread, and so does
// this record.
bool thread_holds_port() noexcept;

// Raises the permission for one piece of work unless the calling thread
// already holds it, and on release drops only what it raised itself: the
// thread's permission is left as it was found.
class PortBracket {
  public:
    PortBracket();
    ~PortBracket() { release(); }
    PortBracket(const PortBracket&) = delete;
    PortBracket& operator=(const PortBracket&) = delete;

    // 0 when the port may be used, else the failed raise's result (its
    // message has been printed).
    int result() const { return result_; }

    // Drops what was raised here and returns the drop's result (message
    // printed on failure); 0 when there is nothing to drop. Later calls do
    // nothing.
    int release();

  private:
    bool raised_ = false;
    int result_ = 0;
};

}  // namespace quorvik::smi
