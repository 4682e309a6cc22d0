// One centre and one agent per user session: the window classes that keep
// them single on Windows are, on Linux, a rendezvous per class name in the
// session's runtime folder ($XDG_RUNTIME_DIR/lumcenter, else
// /tmp/lumcenter-<uid>, made 0700 and used only when it is ours):
//
//   <class>.lock  locked for as long as the owning process holds the class;
//                 the kernel drops the lock when that process ends, so a
//                 dead owner never keeps it
//   <class>.sock  a Unix stream socket on which the owner takes requests
//
// A request is one short line each way: "raise\n", "raise <token>\n" or
// "close\n" from the sender, "done\n" from the owner when it has handled it.
// The token (at most 200 printable characters, no blank) is the sender's
// user act: its startup id or "_TIME<time>" of the user's event, so that the
// raised window may take the focus.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace lum::posix {

// The rendezvous of this process's own user; another uid names that user's
// (root replacing the copies of the user it installs for).
constexpr uid_t kThisUser = static_cast<uid_t>(-1);

// Claims a window class for this process. The listening socket's fd
// (non-blocking) for the owner to watch for requests, or -1 when a live
// process already holds the class. Atomic: of two processes racing, exactly
// one gets it. The claim lasts until ReleaseWindowClass or process end.
// Where no rendezvous can be made (no folder of ours), the claim succeeds
// with an fd that never becomes readable: the program runs as it would
// without the check.
int ClaimWindowClass(const std::string& class_name);
void ReleaseWindowClass(int listen_fd);

enum class ClassRequest { None, Raise, Close };

// Called when listen_fd is readable: accepts one connection and reads its
// request (None when nothing sensible came). *reply_fd gets the connection;
// the owner answers with AnswerClassRequest once it has handled the request
// (a close request's sender waits for that answer). With None, *reply_fd is
// -1 and the connection is already closed. Takes at most a short while, also
// for a sender that says nothing.
// A raise's token goes to *token when given ("" when it came without one).
ClassRequest TakeClassRequest(int listen_fd, int* reply_fd, std::string* token = nullptr);
// Answers and closes the connection; -1 does nothing.
void AnswerClassRequest(int reply_fd);

// Whether a live process (this one included) holds the class. Only looks:
// it never takes the lock, so it cannot make a racing claim fail.
bool ClassHeld(const std::string& class_name, uid_t user = kThisUser);

// Sends a request to the class's owner: connecting and sending take at most
// about connect_ms, then the answer is awaited for at most answer_ms (0: not
// at all). True when the request was sent and, unless answer_ms is 0,
// answered; false when no owner could be reached or no answer came.
// A raise carries `token` when it is a valid one, else goes bare.
bool SendClassRequest(const std::string& class_name, ClassRequest request, int32_t connect_ms,
                      int32_t answer_ms, const std::string& token = "",
                      uid_t user = kThisUser);

}  // namespace lum::posix
