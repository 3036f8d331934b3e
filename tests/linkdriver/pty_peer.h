// A pseudo-terminal pair with a scripted PBX reading and writing its master side; the
// driver opens the slave side as its COM port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "pbx_peer.h"

namespace qrvn::testing {

class PtyPbx {
 public:
  PtyPbx() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name != nullptr) slave_ = name;
    peer_ = std::make_unique<PbxPeer>([this](const Bytes& b) { Write(b); });
    reader_ = std::thread([this] { Read(); });
  }
  ~PtyPbx() {
    Close();
    if (reader_.joinable()) reader_.join();
  }
  PtyPbx(const PtyPbx&) = delete;
  PtyPbx& operator=(const PtyPbx&) = delete;

  bool Ok() const { return master_ >= 0 && !slave_.empty(); }
  const std::string& SlavePath() const { return slave_; }
  PbxPeer& Peer() { return *peer_; }
  // Closes the master side: to the driver the port has gone.
  void Close() {
    stop_ = true;
    int fd = master_.exchange(-1);
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
    if (fd >= 0) ::close(fd);
  }

 private:
  void Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      int fd = master_.load();
      if (fd < 0) return;
      ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  void Read() {
    uint8_t buffer[4096];
    while (!stop_) {
      int fd = master_.load();
      if (fd < 0) return;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      if ((p.revents & POLLIN) == 0) {
        // No slave side open yet (or any more): wait rather than spin on the hang-up.
        usleep(2000);
        continue;
      }
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) peer_->OnBytes(std::span<const uint8_t>(buffer, static_cast<size_t>(n)));
    }
  }

  std::atomic<int> master_{-1};
  std::string slave_;
  std::unique_ptr<PbxPeer> peer_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

}  // namespace qrvn::testing
